// Share file names, hostile ones above all, made into plain names in one folder.
#include "cli/file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

bool ValidUtf8(const std::string& s) {
  for (std::size_t at = 0; at < s.size();) {
    const auto lead = static_cast<unsigned char>(s[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5                 ? 4
                                                                              : 0;
    if (length == 0 || at + length > s.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(s[at + i]) & 0xC0) != 0x80) return false;
    }
    at += length;
  }
  return true;
}

TEST(SafeFileName, HostileNames) {
  const struct {
    std::string given;
    std::string expected;
  } cases[] = {
      {"report-2026.pdf", "report-2026.pdf"},
      {"中文文件.txt", "中文文件.txt"},
      {"a/b\\c.txt", "a_b_c.txt"},
      {"../../etc/passwd", ".._.._etc_passwd"},
      {"/", "_"},
      {".", "download"},
      {"..", "download"},
      {"", "download"},
      {" . . ", "download"},
      {"a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h"},
      {"tab\there\r\n.txt", "tab_here__.txt"},
      {std::string("nul\0byte", 8), "nul_byte"},
      {"del\x7f", "del_"},
      {"csi\xC2\x9B" "31m", "csi_31m"},  // a C1 control a terminal would obey
      {"con", "_con"},
      {"CON.txt", "_CON.txt"},
      {"con.tar.gz", "_con.tar.gz"},
      {"Aux", "_Aux"},
      {"lpt9", "_lpt9"},
      {"Com1 .log", "_Com1 .log"},
      {"COM\xC2\xB9.txt", "_COM\xC2\xB9.txt"},
      {"console.txt", "console.txt"},
      {"COM10", "COM10"},
      {"nul_", "nul_"},
      {"name. . ", "name"},
      {"name.txt...", "name.txt"},
      {" leading space.txt", " leading space.txt"},
      {"bad\xFF" "byte.txt", "bad" + kFffd + "byte.txt"},
      {"over\xC0\xAFlong", "over" + kFffd + kFffd + "long"},
      {"surrogate\xED\xA0\x80", "surrogate" + kFffd + kFffd + kFffd},
      {"cut\xE4\xB8", "cut" + kFffd + kFffd},
      {std::string(300, 'a') + ".txt", std::string(251, 'a') + ".txt"},
      // 251 bytes for the stem hold 83 three-byte characters.
      {[] { std::string s; for (int i = 0; i < 100; ++i) s += "中"; return s + ".pdf"; }(),
       [] { std::string s; for (int i = 0; i < 83; ++i) s += "中"; return s + ".pdf"; }()},
      {"a." + std::string(300, 'b'), "a." + std::string(253, 'b')},
      // The cut leaves "con" and spaces; the spaces go, and the device name is defused.
      {"con" + std::string(300, ' ') + "x", "_con"},
      {std::string(254, 'x') + "..", std::string(254, 'x')},
  };
  for (const auto& c : cases) {
    const std::string safe = SafeFileName(c.given);
    EXPECT_EQ(safe, c.expected) << c.given;
    EXPECT_LE(safe.size(), kMaxFileNameBytes) << c.given;
    EXPECT_TRUE(ValidUtf8(safe)) << c.given;
    EXPECT_EQ(SafeFileName(safe), safe) << c.given;
  }
}

TEST(SafeFileName, LeavesRoomForASuffix) {
  const std::string safe = SafeFileName(std::string(300, 'a') + ".mp4", kMaxFileNameBytes - 5);
  EXPECT_EQ(safe, std::string(246, 'a') + ".mp4");
}

TEST(NumberedFileName, BeforeTheExtension) {
  const struct {
    std::string name;
    int n;
    std::string expected;
  } cases[] = {
      {"report.pdf", 1, "report (1).pdf"},
      {"README", 2, "README (2)"},
      {".bashrc", 1, ".bashrc (1)"},
      {"a.tar.gz", 3, "a.tar (3).gz"},
      {std::string(251, 'a') + ".txt", 1, std::string(247, 'a') + " (1).txt"},
      {"_con", 12, "_con (12)"},
  };
  for (const auto& c : cases) {
    const std::string numbered = NumberedFileName(c.name, c.n);
    EXPECT_EQ(numbered, c.expected) << c.name;
    EXPECT_LE(numbered.size(), kMaxFileNameBytes);
  }
}

}  // namespace
