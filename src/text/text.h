// The text toolkit: Text, Bytes and TextList and the operations every parser of
// the program runs on. Texts are code-page-936 bytes; positions are 1-based byte
// positions and -1 means "not found". Scans follow the double-byte rule: a byte
// 0x80-0xFF starts a two-byte character whatever the next byte is, and matches
// are tried only at character starts.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A code-page-936 text that never holds a zero byte. Empty and absent are the same.
using Text = std::string;
// A counted byte sequence that may hold zeros; a distinct type from Text.
using Bytes = std::vector<unsigned char>;
// The 1-based list that SplitText produces; element i is list[i - 1].
using TextList = std::vector<Text>;

// Length, comparison and slicing: plain bytes, no double-byte rule.
int TextLength(std::string_view text);
int CompareText(std::string_view a, std::string_view b);
Text TextLeft(std::string_view text, int count);
Text TextRight(std::string_view text, int count);
Text TextMid(std::string_view text, int start, int count);

template <class... Parts>
Text ConcatText(const Parts&... parts) {
  const std::string_view views[] = {std::string_view(parts)...};
  std::size_t total = 0;
  for (auto v : views) total += v.size();
  Text out;
  out.reserve(total);
  for (auto v : views) out.append(v);
  return out;
}

// Searches. A start that is not given, or is <= 1, searches the whole text;
// FindTextReverse looks only at the bytes before position start.
int FindText(std::string_view text, std::string_view sought,
             std::optional<int> start = std::nullopt, bool ignoreCase = false);
int FindTextReverse(std::string_view text, std::string_view sought,
                    std::optional<int> start = std::nullopt, bool ignoreCase = false);

// Replaces every non-overlapping occurrence. Note the flag runs opposite to
// FindText's: caseSensitive false folds ASCII letter case.
Text ReplaceText(std::string_view text, std::string_view sought,
                 std::string_view replacement, bool caseSensitive);

TextList SplitText(std::string_view text, std::string_view delimiter);
int ListCount(const TextList& list);

// Spaces are 0x20 and the full-width space A1 A1; nothing else.
Text TrimText(std::string_view text);
Text RemoveAllSpaces(std::string_view text);
Text ToLower(std::string_view text);

int ParseInt(std::string_view text);
Text CharFromCode(int code);
Text BlankText(int count);

Bytes TextToBytes(std::string_view text);
Bytes TextToBytes(const Bytes& bytes);
Text BytesToText(const Bytes& bytes);
// Percent escapes decoded; with fromUtf8 the decoded bytes are read as UTF-8
// and converted to code page 936. An escape whose two characters are not both
// hexadecimal digits is kept literally.
Text UrlDecode(std::string_view text, bool fromUtf8);

int BytesLength(const Bytes& bytes);
Bytes BytesLeft(const Bytes& bytes, int count);
Bytes BlankBytes(int count);
bool BytesEqual(const Bytes& a, const Bytes& b);

template <class... Parts>
Bytes ConcatBytes(const Parts&... parts) {
  const Bytes* all[] = {&parts...};
  std::size_t total = 0;
  for (auto* b : all) total += b->size();
  Bytes out;
  out.reserve(total);
  for (auto* b : all) out.insert(out.end(), b->begin(), b->end());
  return out;
}

template <class... Ints>
int BitOr(int first, Ints... rest) {
  return (first | ... | rest);
}

// Creates or truncates the file and writes each part; false with an empty path
// or when the file cannot be opened or written. The path is code page 936.
bool WriteBytesToFileParts(std::string_view path, std::initializer_list<const Bytes*> parts);
template <class... B>
bool WriteBytesToFile(std::string_view path, const B&... data) {
  return WriteBytesToFileParts(path, {&data...});
}

// Copies count bytes (or all of them when count is missing or out of range).
// The caller guarantees the room at address.
void WriteToMemory(const Bytes& bytes, void* address, std::optional<int> count = std::nullopt);

// At the platform boundary an empty Text is a null pointer; an empty literal
// written at the call site stays "".
inline const char* PlatformString(const Text& text) { return text.empty() ? nullptr : text.c_str(); }
inline const unsigned char* PlatformBytes(const Bytes& bytes) {
  return bytes.empty() ? nullptr : bytes.data();
}
