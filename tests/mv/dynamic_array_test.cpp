#include "mv/dynamic_array.h"

#include <gtest/gtest.h>

namespace pelorix::mv {
namespace {

// "^" for AM, "]" for VM, "\" for SVM, to keep the cases readable.
std::string m(std::string s) {
  for (char& c : s) c = c == '^' ? AM : c == ']' ? VM : c == '\\' ? SVM : c;
  return s;
}

TEST(DynamicArray, ExtractTakesAttributesValuesAndSubvalues) {
  std::string rec = m("a^b1]b2\\x]b3^^d");
  EXPECT_EQ(Extract(rec, 1), "a");
  EXPECT_EQ(Extract(rec, 2), m("b1]b2\\x]b3"));
  EXPECT_EQ(Extract(rec, 2, 2), m("b2\\x"));
  EXPECT_EQ(Extract(rec, 2, 2, 2), "x");
  EXPECT_EQ(Extract(rec, 2, 0, 1), "b1");
  EXPECT_EQ(Extract(rec, 3), "");
  EXPECT_EQ(Extract(rec, 4), "d");
  EXPECT_EQ(Extract(rec, 9), "");
  EXPECT_EQ(Extract(rec, 2, 9), "");
  EXPECT_EQ(Extract(rec, 0), rec);
  EXPECT_EQ(Extract("", 1), "");
}

TEST(DynamicArray, ReplaceCreatesTheMarksItNeeds) {
  EXPECT_EQ(Replace("", 3, 0, 0, "c"), m("^^c"));
  EXPECT_EQ(Replace("a", 1, 3, 0, "v"), m("a]]v"));
  EXPECT_EQ(Replace(m("a^b"), 2, 0, 2, "s"), m("a^b\\s"));
  EXPECT_EQ(Replace(m("a^b]c"), 2, 1, 0, "B"), m("a^B]c"));
  EXPECT_EQ(Replace(m("a^b]c"), 2, 0, 0, "x"), m("a^x"));
  EXPECT_EQ(Replace("", -1, 0, 0, "first"), "first");
  EXPECT_EQ(Replace(m("a^b"), -1, 0, 0, "c"), m("a^b^c"));
  EXPECT_EQ(Replace(m("a^b"), 2, -1, 0, "c"), m("a^b]c"));
}

TEST(DynamicArray, InsertShiftsAndDeleteCloses) {
  EXPECT_EQ(Insert(m("a^b"), 1, 0, 0, "x"), m("x^a^b"));
  EXPECT_EQ(Insert(m("a^b"), 4, 0, 0, "x"), m("a^b^^x"));
  EXPECT_EQ(Insert(m("a^b]c"), 2, 2, 0, "x"), m("a^b]x]c"));
  EXPECT_EQ(Insert("", 1, 0, 0, "x"), "x");
  EXPECT_EQ(Insert(m("a"), -1, 0, 0, "x"), m("a^x"));
  EXPECT_EQ(Delete(m("a^b^c"), 2), m("a^c"));
  EXPECT_EQ(Delete(m("a^b]c]d"), 2, 2), m("a^b]d"));
  EXPECT_EQ(Delete(m("a^b"), 5), m("a^b"));
  EXPECT_EQ(Delete("a", 1), "");
}

TEST(DynamicArray, CountsAndFields) {
  EXPECT_EQ(countParts("", m("^")), 0);
  EXPECT_EQ(countParts("a", m("^")), 1);
  EXPECT_EQ(countParts(m("a^^"), m("^")), 3);
  EXPECT_EQ(Count("aaaa", "aa"), 2);
  EXPECT_EQ(Count("abc", ""), 0);
  EXPECT_EQ(Field("a.b.c.d", ".", 2), "b");
  EXPECT_EQ(Field("a.b.c.d", ".", 2, 2), "b.c");
  EXPECT_EQ(Field("a.b.c.d", ".", 3, 9), "c.d");
  EXPECT_EQ(Field("a.b", ".", 5), "");
  EXPECT_EQ(Field("a--b--c", "--", 3), "c");
  EXPECT_EQ(Field("abc", ".", 1), "abc");
}

}  // namespace
}  // namespace pelorix::mv
