// The built-in functions that take a text or a whole dynamic array, with the
// values a UniVerse-style host gives.
#include <gtest/gtest.h>

#include "mv/basic_host.h"

namespace pelorix::mv {
namespace {

// C = expression, with A and B given with the marks written ^ ] \.
std::string calc(Host& run, const std::string& expression, const std::string& a, const std::string& b = "") {
  return run.c("C = " + expression, {m(a), m(b), ""});
}

TEST(TextFunctions, TrimQuoteAlphaAndField) {
  Host run;
  EXPECT_EQ(run.c("C = '[' : TRIMF(' \t a b ') : '|' : TRIMB(' a b \t ') : '|' : TRIMF('  ') : ']'"), "[a b | a b|]");
  // TRIM without a character takes tabs as blanks, as UniVerse; a run inside keeps its first character.
  EXPECT_EQ(run.c("C = '[' : TRIM(' \ta\t\tb \t c\t') : '|' : TRIM('\ta  b', ' ') : ']'"), "[a\tb c|\ta b]");
  EXPECT_EQ(calc(run, "TRIMS(A)", "\t x]y \t"), m("x]y"));
  EXPECT_EQ(run.c("C = QUOTE('a') : DQUOTE(1) : SQUOTE('')"), "\"a\"\"1\"''");
  EXPECT_EQ(run.c("C = ALPHA('abcXYZ') : ALPHA('ab1') : ALPHA('') : ALPHA('a b') : ALPHA('Müller')"), "10001");
  // Only the first character of a longer delimiter delimits.
  EXPECT_EQ(run.c("C = FIELD('a+-b+c', '+-', 2) : '|' : COL1() : ',' : COL2()"), "-b|2,5");
  EXPECT_EQ(
      run.c("C = FIELD('aüb', 'üx', 2) : '|' : FIELD('a+b+-c', '+-', 2, 2) : '|' : FIELD('aäbäc', 'äx', 3) : COL1()"),
      "b|b+-c|c4");
  // Characters, not bytes: CHAR and SEQ meet at the Latin-1 letters; the marks stay single bytes.
  EXPECT_EQ(run.c("C = CHAR(233) : CHAR(65) : SEQ('é') : ',' : SEQ('€') : ',' : SEQ(CHAR(247)) : ',' : SEQ('')"),
            "éA233,8364,247,0");
  EXPECT_EQ(run.c("C = (CHAR(254) = @AM) : (CHAR(252) = @SVM) : LEN(CHAR(253)) : SEQ(@VM)"), "111253");
}

TEST(NumberFunctions, SumExtremesTrigonometryBitsAndHex) {
  Host run;
  EXPECT_EQ(calc(run, "SUM(A)", "1^2^3.5"), "6.5");
  EXPECT_EQ(calc(run, "SUM(A)", "1]2^3]x]4"), m("3^7"));
  EXPECT_EQ(calc(run, "SUM(A)", "1\\2]3^4"), m("3]3^4"));
  EXPECT_EQ(calc(run, "MAXIMUM(A) : ',' : MINIMUM(A) : ',' : MAXIMUM(B) : ','", "3]-7^10\\x]", "a]b"), "10,-7,,");
  EXPECT_EQ(run.c("C = SIN(30) : ',' : COS(60) : ',' : TAN(45) : ',' : ATAN(1) : ',' : NEG(-2.5)"), "0.5,0.5,1,45,2.5");
  EXPECT_EQ(run.c("C = BITAND(12, 10) : BITOR(12, 10) : BITXOR(12, 10) : ',' : BITNOT(0)"), "8146,-1");
  EXPECT_EQ(run.c("C = DTX(255) : ',' : DTX(10, 4) : ',' : XTD('1f') : ',' : XTD('') : ',' : DTX(-1)"),
            "FF,000A,31,,FFFFFFFF");
  EXPECT_EQ(error(run, "C = XTD('1G')"), "2: XTD(\"1G\"): not a hexadecimal number");
  EXPECT_EQ(run.c("OK = 1\nFOR I = 1 TO 200\n  R = RND(3)\n  IF R < 0 OR R > 2 OR INT(R) # R THEN OK = 0\nNEXT I\n"
                  "C = OK : RND(0)"),
            "10");
  EXPECT_EQ(run.c("OK = 1\nFOR I = 1 TO 100\n  R = RND(-3)\n  IF R > 0 OR R < -2 THEN OK = 0\nNEXT I\nC = OK"), "1");
  EXPECT_EQ(run.c("R = RND(-2147483648)\nC = (R <= 0 AND R > -2147483648)"), "1");
}

TEST(SystemCodes, KnownOnesAnswerOthersAreRefused) {
  Host run;
  EXPECT_EQ(run.c("C = SYSTEM(1) : SYSTEM(10) : SYSTEM(91) : NUM(SYSTEM(9)) : NUM(SYSTEM(27))"), "00011");
  EXPECT_EQ(run.c("C = (SYSTEM(12) >= 0 AND SYSTEM(12) < 86400) : (SYSTEM(99) > 1700000000) : (SYSTEM(18) = @USERNO)"),
            "111");
  EXPECT_EQ(error(run, "C = SYSTEM(7)"), "2: syntax error: SYSTEM(7) is not available");
  // A code known only when the program runs fails there, with its number.
  EXPECT_EQ(error(run, "N = 40 + 2\nC = SYSTEM(N)"), "3: SYSTEM(42) is not available");
}

TEST(ElementwiseFunctions, PairTheElementsAtEachLevel) {
  Host run;
  EXPECT_EQ(calc(run, "ADDS(A, B)", "1]2^3", "10]20]30^4\\5"), m("11]22]30^7\\5"));
  EXPECT_EQ(calc(run, "SUBS(A, B) : '|' : MULS(2, 3) : '|' : DIVS(B, A)", "5]4", "10]1"), m("-5]3|6|2]0.25"));
  EXPECT_EQ(calc(run, "MODS(A, B)", "-7]7", "3]-3"), m("2]-2"));
  EXPECT_EQ(error(run, "C = DIVS(1, 0)"), "2: division by zero in DIVS");
  EXPECT_EQ(calc(run, "EQS(A, B)", "1]a]", "01]a]x"), m("1]1]0"));
  EXPECT_EQ(calc(run, "GTS(A, B) : '|' : LES(1, B)", "2]b", "1]c"), m("1]0|1]1"));
  EXPECT_EQ(calc(run, "ANDS(A, B) : '|' : ORS(A, B) : '|' : NOTS(A)", "1]0]", "1]1"), m("1]0]0|1]1]0|0]1]1"));
  EXPECT_EQ(calc(run, "IFS('1', A, B) : '|' : IFS(A, A, B)", "a]0]c", "x]y]z"), m("a]y]z|a]y]c"));
  EXPECT_EQ(calc(run, "CATS(A, B) : '|' : SPLICE(A, '-', B)", "a]b^c", "1]2]3"), m("a1]b2]3^c|a-1]b-2]-3^c-"));
  EXPECT_EQ(calc(run, "LENS(A) : '|' : COUNTS(B, ',') : '|' : NUMS(B)", "ab]Müller^", "a,b]x]"),
            m("2]6^0|1]0]0|0]0]1"));
  EXPECT_EQ(calc(run, "SUBSTRINGS(A, 2, 3) : '|' : FIELDS(B, '.', 2)", "abcd]Müller", "a.b]c.d.e"), m("bcd]üll|b]d"));
  EXPECT_EQ(calc(run, "INDEXS(A, 'a', 2)", "aXa]a"), m("3]0"));
  EXPECT_EQ(calc(run, "OCONVS(A, 'MR2') : '|' : FMTS(B, 'R#3')", "1]22", "a]bb"), m("0.01]0.22|  a] bb"));
  EXPECT_EQ(calc(run, "TRIMS(A) : '|' : TRIMFS(A) : '|' : TRIMBS(A)", " a ] b  c"), m("a]b c|a ]b  c| a] b  c"));
  EXPECT_EQ(calc(run, "STRS(A, 2) : '|' : SPACES(B) : '|'", "ab]c", "1]0]2"), m("abab]cc| ]]  |"));
  EXPECT_EQ(error(run, "C = OCONVS(1, 'ZZ9')"), "2: syntax error: unknown conversion code \"ZZ9\" in OCONVS");
  // The result is bounded like any value.
  EXPECT_NE(error(run, "X = STR('x', 1000000)\nFOR I = 1 TO 20 ; X = CATS(X, X) ; NEXT I\nC = LEN(X)"), "no error");
}

TEST(Conversions, PrintableAndHexadecimalCharacterCodes) {
  Host run;
  EXPECT_EQ(calc(run, "OCONV(A, 'MCP')", "a\tb^Müller"), "a.b.Müller");
  EXPECT_EQ(
      run.c("C = OCONV(255, 'MCD') : ',' : OCONV('ff', 'MCX') : ',' : OCONV(10, 'MCDX') : ',' : OCONV('1G', 'MCX')"),
      "FF,255,A,");
}

}  // namespace
}  // namespace pelorix::mv
