#include "host/bind.h"

#include <map>
#include <mutex>
#include <string>

namespace platform {
namespace {

std::mutex gMutex;

}  // namespace

void Missing(const char* library, const char* function) {
  const std::string message = function ? std::string("Cannot find the function ") + function +
                                             " in " + library + "."
                                       : std::string("Cannot load ") + library + ".";
  MessageBoxA(nullptr, message.c_str(), "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  ExitProcess(1);
}

FARPROC Bind(const char* library, const char* function) {
  static std::map<std::string, FARPROC> functions;
  static std::map<std::string, HMODULE> libraries;
  const std::lock_guard<std::mutex> lock(gMutex);
  const std::string key = std::string(library) + '!' + function;
  if (auto found = functions.find(key); found != functions.end()) return found->second;
  HMODULE& module = libraries[library];
  if (!module) module = LoadLibraryA(library);  // kept loaded for the life of the process
  if (!module) Missing(library, nullptr);
  FARPROC address = GetProcAddress(module, function);
  if (!address) Missing(library, function);
  functions.emplace(key, address);
  return address;
}

}  // namespace platform
