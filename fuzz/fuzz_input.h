// Cutting one fuzzer input into the several texts a target needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Parts are separated by the byte 0x00; missing parts are empty. Texts never
// hold a zero byte, so the separator can never be part of one.
inline std::vector<std::string> Parts(const std::uint8_t* data, std::size_t size, std::size_t count) {
  std::vector<std::string> parts(count);
  std::size_t part = 0;
  for (std::size_t i = 0; i < size && part < count; ++i) {
    if (data[i] == 0) {
      ++part;
    } else {
      parts[part].push_back(static_cast<char>(data[i]));
    }
  }
  return parts;
}

#define FUZZ_CHECK(condition)                                   \
  do {                                                          \
    if (!(condition)) {                                         \
      __builtin_fprintf(stderr, "check failed: %s\n", #condition);\
      __builtin_trap();                                         \
    }                                                           \
  } while (0)
