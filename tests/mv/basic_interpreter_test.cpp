#include <gtest/gtest.h>

#include "mv/basic_host.h"

namespace pelorix::mv {
namespace {

TEST(Basic, ArithmeticConcatenationAndPrecedence) {
  Host run;
  EXPECT_EQ(run.c("C = 1 + 2 * 3"), "7");
  EXPECT_EQ(run.c("C = (1 + 2) * 3 : 'x'"), "9x");
  EXPECT_EQ(run.c("C = 7 / 2"), "3.5");
  EXPECT_EQ(run.c("C = 2 ^ 10 - -1"), "1025");
  EXPECT_EQ(run.c("C = '' + 5"), "5");
  EXPECT_EQ(run.c("C = 10; C += 5; C := '!'"), "15!");
}

TEST(Basic, ComparisonsAreNumericWhenBothSidesAreNumbers) {
  Host run;
  EXPECT_EQ(run.c("C = '10' > '9'"), "1");
  EXPECT_EQ(run.c("C = 'abc' < 'abd'"), "1");
  EXPECT_EQ(run.c("C = '10' > '9x'"), "0");  // text comparison
  EXPECT_EQ(run.c("C = '01' = '1'"), "1");
  EXPECT_EQ(run.c("C = 'A' # 'B' AND 1 EQ 1"), "1");
  EXPECT_EQ(run.c("C = '' = 0"), "0");  // "" compares as a text
}

TEST(Basic, DynamicArraysAreReadAndWrittenByPosition) {
  Host run;
  EXPECT_EQ(run.c("C<3> = 'x'"), m("^^x"));
  EXPECT_EQ(run.c("C = A<2,2>", {m("a^b1]b2"), "", ""}), "b2");
  EXPECT_EQ(run.c("C<1,2,2> = 'q'; C = C<1,2>"), m("\\q"));
  EXPECT_EQ(run.c("C = A<1> < A<2>", {m("1^2"), "", ""}), "1");
  EXPECT_EQ(run.c("C = DCOUNT(A, @AM) : '/' : DCOUNT('', @AM)", {m("a^b^c"), "", ""}), "3/0");
  EXPECT_EQ(run.c("C = 'HELLO'[2,3] : 'HELLO'[2]"), "ELLLO");
  EXPECT_EQ(run.c("C = REPLACE(A, 2, 0, 0, 'z') ; C = INSERT(C, 1, 0, 0, 'i')", {m("a^b"), "", ""}), m("i^a^z"));
  EXPECT_EQ(run.c("C = DELETE(A, 1)", {m("a^b"), "", ""}), "b");
  EXPECT_EQ(run.c("C = INSERT('A':@AM:'C', 2; 'B') : '|' : REPLACE('A', 3; 'C') : '|' : INSERT('', 1, 2; 'v')"),
            m("A^B^C|A^^C|]v"));
  EXPECT_EQ(run.c("C<-1> = 'a' ; C<-1> = '' ; C<-1> = 'b'"), m("a^^b"));
}

// Walking the attributes of a text remembers where the last one was found;
// every change of the text must make that forgotten.
TEST(Basic, AttributeWalksSeeEveryChangeOfTheText) {
  Host run;
  EXPECT_EQ(run.c("FOR I = 1 TO 4\n C := A<I>\nNEXT I\nC := A<2,2>", {m("a^b]x^c^d"), "", ""}), m("ab]xcdx"));
  // Same length, other marks: a short text may keep its storage.
  EXPECT_EQ(run.c("X = 'ab':@AM:'c'\nC = X<2>\nX = 'a':@AM:'bc'\nC := X<2>"), "cbc");
  EXPECT_EQ(run.c("X = 'a':@AM:'b':@AM:'c'\nC = X<3>\nX<1> = 'long first'\nC := X<3> : X<2>"), "ccb");
  EXPECT_EQ(run.c("X = 'a':@AM:'b':@AM:'c'\nC = X<3>\nDEL X<1>\nC := X<2>"), "cc");
  run.programs["SHIFT"] = "SUBROUTINE SHIFT(T)\nT = 'z':@AM:'y'\nRETURN";
  EXPECT_EQ(run.c("X = 'a':@AM:'b'\nC = X<2>\nCALL SHIFT(X)\nC := X<2>"), "by");
}

TEST(Basic, IfInBothForms) {
  Host run;
  EXPECT_EQ(run.c("IF A = 1 THEN C = 'one' ELSE C = 'other'", {"1", "", ""}), "one");
  EXPECT_EQ(run.c("IF A = 1 THEN C = 'one' ELSE C = 'other'", {"2", "", ""}), "other");
  EXPECT_EQ(run.c("IF A THEN\n  C = 'yes'\n  C := '!'\nEND ELSE\n  C = 'no'\nEND", {"1", "", ""}), "yes!");
  EXPECT_EQ(run.c("IF A THEN\n  C = 'yes'\nEND ELSE\n  C = 'no'\nEND", {"", "", ""}), "no");
  EXPECT_EQ(run.c("IF A ELSE C = 'empty'", {"", "", ""}), "empty");
  EXPECT_EQ(run.c("IF A ELSE C = 'empty'", {"1", "", ""}), "");
  EXPECT_EQ(run.c("IF A = 1 THEN C = 'a' ; C := 'b' ELSE C = 'c'", {"1", "", ""}), "ab");
}

TEST(Basic, CaseLoopsAndSubroutines) {
  Host run;
  std::string caseBody =
      "BEGIN CASE\n CASE A = 1\n  C = 'one'\n CASE A = 2\n  C = 'two'\n CASE 1\n  C = 'many'\nEND CASE";
  EXPECT_EQ(run.c(caseBody, {"2", "", ""}), "two");
  EXPECT_EQ(run.c(caseBody, {"9", "", ""}), "many");
  EXPECT_EQ(run.c("FOR I = 1 TO 5\n C := I\nNEXT I"), "12345");
  EXPECT_EQ(run.c("FOR I = 10 TO 1 STEP -3\n C := I : ','\nNEXT I"), "10,7,4,1,");
  EXPECT_EQ(run.c("FOR I = 1 TO 0\n C = 'never'\nNEXT I"), "");
  EXPECT_EQ(run.c("I = 0\nLOOP\n I += 1\nWHILE I < 4 DO\n C := I\nREPEAT"), "123");
  EXPECT_EQ(run.c("I = 0\nLOOP\n I += 1\n C := I\nUNTIL I = 3 REPEAT"), "123");
  EXPECT_EQ(run.c("FOR I = 1 TO 9\n IF I = 3 THEN EXIT\n C := I\nNEXT I"), "12");
  EXPECT_EQ(run.c("FOR I = 1 TO 5\n IF MOD(I, 2) THEN CONTINUE\n C := I\nNEXT I"), "24");
  EXPECT_EQ(run.c("I = 0\nLOOP WHILE I < 5\n I += 1\n IF I = 2 THEN CONTINUE\n C := I\nREPEAT"), "1345");
  EXPECT_EQ(run.c("GOSUB ADD.ONE\nGOSUB ADD.ONE\nRETURN\nADD.ONE:\n C += 1\nRETURN"), "2");
  EXPECT_EQ(run.c("GOTO 100\nC = 'skipped'\n100 C := 'jumped'"), "jumped");
}

TEST(Basic, CallPassesVariablesByReference) {
  Host run;
  run.programs["DOUBLE"] = "SUBROUTINE DOUBLE(X)\nX = X * 2\nRETURN";
  EXPECT_EQ(run.c("C = 21\nCALL DOUBLE(C)"), "42");
  EXPECT_EQ(run.c("C = 21\nCALL DOUBLE(C + 0)"), "21");  // an expression is passed by value
  try {
    run.c("CALL MISSING(C)");
    FAIL();
  } catch (const BasicError& e) {
    EXPECT_EQ(e.line(), 2);
    EXPECT_NE(e.cause().find("MISSING"), std::string::npos);
  }
}

TEST(Basic, FunctionsOnTexts) {
  Host run;
  EXPECT_EQ(run.c("C = TRIM('  a   b ')"), "a b");
  EXPECT_EQ(run.c("C = FIELD('a*b*c', '*', 2) : INDEX('abcabc', 'c', 2) : COUNT('a.b.c', '.')"), "b62");
  EXPECT_EQ(run.c("C = UPCASE('aB') : DOWNCASE('Cd') : LEN('abc')"), "ABcd3");
  EXPECT_EQ(run.c("C = CONVERT('ab', 'xy', 'aabbc') : CHANGE('a-b-c', '-', '+')"), "xxyyca+b+c");
  EXPECT_EQ(run.c("C = NUM('12.5') : NUM('x') : INT(7.9) : ABS(-3) : MOD(7, 3)"), "10731");
  EXPECT_EQ(run.c("C = STR('ab', 3) : SPACE(2) : SEQ(CHAR(65))"), "ababab  65");
  EXPECT_EQ(run.c("C = NOT(0) : NOT('x')"), "10");
  EXPECT_EQ(run.c("* a comment\nC = 1 ; * and another\n! old style\nREM and this"), "1");
  EXPECT_EQ(run.c("EQU TAB TO CHAR(9)\nC = LEN(TAB)"), "1");
}

TEST(Basic, ErrorsNameTheProgramTheLineAndTheCause) {
  Host run;
  auto expectError = [&](const std::string& body, int line, const std::string& cause) {
    try {
      run.c(body);
      ADD_FAILURE() << "no error for " << body;
    } catch (const BasicError& e) {
      EXPECT_EQ(e.program(), "TEST");
      EXPECT_EQ(e.line(), line) << e.what();
      EXPECT_NE(e.cause().find(cause), std::string::npos) << e.what();
    }
  };
  expectError("C = 1\nC = 'x' + 1", 3, "not a number");
  expectError("C = 1 / 0", 2, "division by zero");
  expectError("IF 1 THEN\nC = 1", 3, "no END");
  expectError("C = (1 + ", 2, "syntax error");
  expectError("GOTO NOWHERE", 2, "no label NOWHERE");
  expectError("C = 'open", 2, "not closed");
  expectError("FROB C", 2, "unknown statement");
  expectError("FOR I = 1 TO 3\nC = I", 3, "no NEXT");
  expectError("C = 1\nABORT 'no file ' : C", 3, "ABORT: no file 1");
  expectError("CONTINUE", 2, "outside a loop");
}

TEST(Basic, ARunawayLoopIsStopped) {
  Host run;
  run.maxSteps = 1000;
  try {
    run.c("LOOP\nC += 1\nREPEAT");
    FAIL();
  } catch (const BasicError& e) {
    EXPECT_NE(e.cause().find("1000 steps"), std::string::npos);
  }
}

TEST(Basic, OutputGoesToTheHostsLog) {
  Host run;
  run.c("CRT 'hello ' : 1 + 1\nPRINT");
  EXPECT_EQ(run.printed, (std::vector<std::string>{"hello 2", ""}));
}

}  // namespace
}  // namespace pelorix::mv
