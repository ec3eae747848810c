#include "http/redirect.h"

#include <gtest/gtest.h>

namespace {

TEST(RedirectTarget, Table) {
  const char* const base = "http://Pan.Example:8080/a/b/c?q=1#f";
  const struct {
    const char* base;
    const char* location;
    const char* target;
  } cases[] = {
      {base, "http://other.example/x", "http://other.example/x"},
      {base, "HTTPS://other.example/x", "HTTPS://other.example/x"},
      {base, "  https://other.example/x  ", "https://other.example/x"},
      {base, "//other.example/x", "http://other.example/x"},
      {"https://h.example/p", "//other.example/x", "https://other.example/x"},
      {base, "/x?y", "http://pan.example:8080/x?y"},
      {base, "d", "http://pan.example:8080/a/b/d"},
      {base, "d/e?z#g", "http://pan.example:8080/a/b/d/e?z#g"},
      {base, "../d", "http://pan.example:8080/a/d"},
      {base, "../../../../d", "http://pan.example:8080/d"},
      {base, "./", "http://pan.example:8080/a/b/"},
      {base, "..", "http://pan.example:8080/a/"},
      {base, "/x/./y/../z/", "http://pan.example:8080/x/z/"},
      {base, "/a//b", "http://pan.example:8080/a//b"},
      {base, "?r=2", "http://pan.example:8080/a/b/c?r=2"},
      {base, "#g", "http://pan.example:8080/a/b/c?q=1#g"},
      // A scheme-less link is http, and a link without a path has the root.
      {"h.example", "x", "http://h.example/x"},
      {"https://h.example", "x", "https://h.example/x"},
      // Nothing to follow.
      {base, "", ""},
      {base, "   ", ""},
      {base, "ftp://h.example/x", ""},
      {base, "javascript:alert(1)", ""},
      {base, "mailto:a@b", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RedirectTarget(c.base, c.location), c.target) << c.base << " + " << c.location;
  }
}

TEST(NextHop, MethodAndBodyByStatus) {
  const Hop post{"http://h.example/a", true, true};
  const struct {
    int status;
    bool follows;
    bool keepsMethod;
  } cases[] = {
      {301, true, false}, {302, true, false}, {303, true, false}, {307, true, true},
      {308, true, true},  {200, false, false}, {304, false, false}, {300, false, false},
      {404, false, false},
  };
  for (const auto& c : cases) {
    const auto next = NextHop(post, c.status, "/b");
    ASSERT_EQ(next.has_value(), c.follows) << c.status;
    if (!next) continue;
    EXPECT_EQ(next->url, "http://h.example/b");
    EXPECT_EQ(next->post, c.keepsMethod) << c.status;
    EXPECT_EQ(next->body, c.keepsMethod) << c.status;
  }
  EXPECT_FALSE(NextHop(post, 302, ""));
  EXPECT_FALSE(NextHop(post, 302, "ftp://h.example/"));
  // Never from https down to http, in any letter case; up, and within https, is fine.
  const struct {
    const char* from;
    const char* location;
    bool follows;
  } schemes[] = {
      {"https://h.example/a", "http://h.example/b", false},
      {"HTTPS://h.example/a", "HTTP://h.example/b", false},
      {"https://h.example/a", "//other.example/b", true},  // keeps https
      {"https://h.example/a", "/b", true},
      {"https://h.example/a", "https://other.example/b", true},
      {"http://h.example/a", "https://h.example/b", true},
      {"http://h.example/a", "http://other.example/b", true},
  };
  for (const auto& c : schemes) {
    EXPECT_EQ(NextHop(Hop{c.from, true, true}, 307, c.location).has_value(), c.follows)
        << c.from << " -> " << c.location;
  }
  // A GET stays a GET.
  const auto get = NextHop(Hop{"http://h.example/a"}, 307, "b");
  ASSERT_TRUE(get);
  EXPECT_FALSE(get->post);
  EXPECT_FALSE(get->body);
}

}  // namespace
