// What a UniVerse-style host answers for the forms customers' subroutines
// use, and the compile errors for what this host does not support.
#include <gtest/gtest.h>

#include "mv/basic_host.h"

namespace pelorix::mv {
namespace {

TEST(Comparisons, EmptyAndBlankTextsCompareAsTexts) {
  Host run;
  EXPECT_EQ(run.c("C = ('' = 0) : ('0' = '') : (' 1' = '1') : ('1 ' = '1') : ('' = ' ')"), "00000");
  EXPECT_EQ(run.c("C = ('' < -1) : ('' < 1) : ('' < 'a')"), "111");
  EXPECT_EQ(run.c("C = ('007' = 7) : ('1.0' = 1) : ('10' < '9') : ('1E2' = 100) : ('X10' > 'X9')"), "11000");
  EXPECT_EQ(run.c("C = NUM('') : NUM(' ') : NUM(' 1') : NOT(' ') : NOT('') : NOT('0.0')"), "100011");
  EXPECT_EQ(run.c("C = '' + 1 : ',' : ' 1' + 1"), "1,2");
  // A Date Book start time of midnight is not "no time"; an empty password is not "0".
  EXPECT_EQ(run.c("IF A = '' THEN C = 'none' ELSE C = 'midnight'", {"0", "", ""}), "midnight");
  EXPECT_EQ(run.c("IF A = B THEN C = 'accepted' ELSE C = 'refused'", {"", "0", ""}), "refused");
}

TEST(Comparisons, AngleBracketsNextToOperators) {
  Host run;
  EXPECT_EQ(run.c("IF A<2>=\"B\" THEN C = 'yes' ELSE C = 'no'", {m("A^B"), "", ""}), "yes");
  EXPECT_EQ(run.c("X<2>=\"B\"; C = X"), m("^B"));
  EXPECT_EQ(run.c("C = (A<1><>'a') : (A<1>#'a') : (A<2><=1) : (A<2>>=1) : (3=>2) : (2=<3)", {m("a^1"), "", ""}),
            "001111");
  EXPECT_EQ(run.c("A = 1; B = 2; D = 4; E = 3\nIF A < B AND D > E THEN C = 'both'"), "both");
  EXPECT_EQ(run.c("A = 1; B = 2\nC = A<B"), "1");
  EXPECT_EQ(run.c("C = A<A<1>+1>", {m("2^x^y"), "", ""}), "y");
}

TEST(Comparisons, ManyLessThansParseAndLongChainsAreRefused) {
  Host run;
  std::string cond = "V0<-0";
  for (int i = 1; i < 400; ++i) cond += " OR V" + std::to_string(i) + "<-" + std::to_string(i);
  EXPECT_EQ(run.c("IF " + cond + " THEN C = 'y' ELSE C = 'n'"), "y");  // "" sorts before "-1"
  for (int i = 0; i < 400; ++i) cond = "V" + std::to_string(i) + " = 5 ; " + cond;
  EXPECT_EQ(run.c(cond.substr(0, cond.find(" ; V0<")) + "\nIF " + cond.substr(cond.find("V0<")) +
                  " THEN C = 'y' ELSE C = 'n'"),
            "n");
  std::string chain = "C = A";
  for (int i = 0; i < 150; ++i) chain += "<A";
  EXPECT_EQ(run.c(chain), "0");
  EXPECT_EQ(error(run, chain + std::string(100, 'A').replace(0, 100,
                                                             [] {
                                                               std::string s;
                                                               for (int i = 0; i < 100; ++i) s += "<A";
                                                               return s;
                                                             }())),
            "2: syntax error: nested more than 200 deep");
  std::string sum = "C = 1";
  for (int i = 0; i < 50000; ++i) sum += "+1";
  EXPECT_EQ(error(run, sum), "2: syntax error: an expression of more than 1000 operators");
  EXPECT_EQ(error(run, "C = " + std::string(20000, '(') + "1" + std::string(20000, ')')),
            "2: syntax error: nested more than 200 deep");
  std::string ifs;
  for (int i = 0; i < 30000; ++i) ifs += "IF 1 THEN\n";
  EXPECT_EQ(error(run, ifs).substr(0, 4), "201:");
  std::string subs = "C = 'ab'";
  for (int i = 0; i < 5000; ++i) subs += "[1]";
  EXPECT_EQ(error(run, subs), "2: syntax error: an expression of more than 1000 operators");
}

TEST(Limits, ValuesAndTimeAreBounded) {
  Host run;
  EXPECT_EQ(error(run, "X = 'ab'\nFOR I = 1 TO 40\n X = X : X\nNEXT I"),
            "4: a value of more than 67108864 bytes (MaxValueSize)");
  EXPECT_EQ(error(run, "C = STR('', 2000000000) : STR('x', 2000000000)"),
            "2: a value of more than 67108864 bytes (MaxValueSize)");
  EXPECT_EQ(run.c("C = LEN(STR('', 2000000000)) : LEN(SPACE(3))"), "03");
  EXPECT_EQ(error(run, "C = SPACE(2000000000)"), "2: a value of more than 67108864 bytes (MaxValueSize)");
  EXPECT_EQ(error(run, "LOOP\n C<-1> = STR('x', 1000000)\nREPEAT"),
            "3: a value of more than 67108864 bytes (MaxValueSize)");
}

TEST(Conversions, DecimalsAndCharacterClasses) {
  Host run;
  EXPECT_EQ(run.c("C = OCONV(12345, 'MD2') : '|' : OCONV(1234567, 'MD2,$') : '|' : OCONV(-1234567, 'MD2,$') : '|' : "
                  "OCONV(-5, 'MR2')"),
            "123.45|$12,345.67|-$12,345.67|-0.05");
  EXPECT_EQ(run.c("C = OCONV(12.5, 'MD2') : '|' : OCONV(1234.5, 'MD2,') : '|' : OCONV(-1234, 'MD2-') : '|' : "
                  "OCONV(2.5, 'MD0') : '|' : OCONV('', 'MD2')"),
            "0.13|12.35|12.34-|3|");
  EXPECT_EQ(run.c("C = ICONV('12.34', 'MD2') : '|' : ICONV('$1,234.50', 'MD2') : '|' : ICONV('1.2', 'MR2') : '|' : "
                  "ICONV('x', 'MD2')"),
            "1234|123450|120|");
  EXPECT_EQ(run.c("C = OCONV('abc Def', 'MCU') : '|' : OCONV('abc DEF', 'MCL') : '|' : OCONV('abc dEF', 'MCT') : '|' : "
                  "OCONV('a1b2-c', 'MCA') : '|' : OCONV('a1b2-c', 'MCN')"),
            "ABC DEF|abc def|Abc Def|abc|12");
  EXPECT_EQ(run.c("C = OCONV('müller', 'MCU') : ICONV('abc', 'MCU')"), "MÜLLERABC");
  EXPECT_EQ(run.c("C = OCONV('a.b.c', 'G1.1') : '|' : OCONV('a.b.c', 'G0.2') : '|' : OCONV('a.b.c', 'G5.1')"),
            "b|a.b|");
  EXPECT_EQ(run.c("C = OCONV('123', 'P(3N)') : '|' : OCONV('12a', 'P(3N)')"), "123|");
}

TEST(Conversions, DatesInPartsAndEuropeanOrder) {
  Host run;
  EXPECT_EQ(run.c("C = OCONV(20000, 'D4/E') : '|' : OCONV(20000, 'D/E') : '|' : OCONV(20000, 'DE') : '|' : "
                  "OCONV(20000, 'D2-')"),
            "03/10/2022|03/10/2022|03 OCT 2022|10-03-22");
  EXPECT_EQ(run.c("C = OCONV(20000, 'DY') : '|' : OCONV(20000, 'DM') : '|' : OCONV(20000, 'DMA') : '|' : OCONV(20000, "
                  "'DD') : '|' : OCONV(20000, 'DQ')"),
            "2022|10|OCTOBER|03|4");
  EXPECT_EQ(run.c("C = OCONV(20000, 'DW') : '|' : OCONV(20000, 'DWA') : '|' : OCONV(20000, 'DJ') : '|' : "
                  "ICONV('03/10/2022', 'D4/E')"),
            "1|MONDAY|276|20000");
}

TEST(Conversions, AnIconvThatCannotReadItsTextSetsStatus) {
  Host run;
  EXPECT_EQ(run.c("X = ICONV('02/30/2024', 'D') ; C = '[' : X : ']' : STATUS()"), "[]1");
  EXPECT_EQ(run.c("X = ICONV('02/30/2024', 'D') ; X = ICONV('02/28/2024', 'D') ; C = X : ' ' : STATUS()"), "20513 0");
  EXPECT_EQ(run.c("X = ICONV('', 'D') ; C = '[' : X : ']' : STATUS()"), "[]0");
  EXPECT_EQ(run.c("X = ICONV('12x', 'MD2') ; C = '[' : X : ']' : STATUS()"), "[]1");
}

TEST(Conversions, MasksAndFmt) {
  Host run;
  EXPECT_EQ(run.c("C = OCONV('ab', 'L#5') : '|' : OCONV('abc', 'R#5') : '|' : OCONV('abcdef', 'L#3') : '|' : "
                  "OCONV('ab', 'C#4') : '|'"),
            "ab   |  abc|abc| ab |");
  EXPECT_EQ(
      run.c("C = FMT(3.14159, 'R2#10') : '|' : FMT('ab', '10L') : '|' : FMT(1234.5, 'R2,$#12') : '|' : FMT(42, 'R%5')"),
      "      3.14|ab        |   $1,234.50|00042");
  EXPECT_EQ(run.c("C = FMT('1234567890', 'L###-###-####') : '|' : FMT('Müller', 'L#8') : '|' : FMT('Müller', 'R#3')"),
            "123-456-7890|Müller  |ler");
}

TEST(Conversions, UnknownCodesAreRefused) {
  Host run;
  EXPECT_EQ(error(run, "C = 1\nC = OCONV(C, 'ZZ')"), "3: syntax error: unknown conversion code \"ZZ\" in OCONV");
  EXPECT_EQ(error(run, "C = ICONV(C, 'Q9')"), "2: syntax error: unknown conversion code \"Q9\" in ICONV");
  EXPECT_EQ(error(run, "X = 'ZZ'\nC = OCONV(1, X)"), "3: unknown conversion code \"ZZ\" in OCONV");
}

TEST(Equates, NamesStandForTheirText) {
  Host run;
  EXPECT_EQ(run.c("EQU SECOND TO X<2>\nX = 'a':@AM:'b'\nC = SECOND\nX<2> = 'd'\nC := SECOND"), "bd");
  EXPECT_EQ(run.c("EQU SUM TO 1 + 2\nC = SUM * 2"), "6");
  EXPECT_EQ(run.c("EQUATE AM TO CHAR(254), TAB TO CHAR(9)\nC = SEQ(AM) : SEQ(TAB)"), "2549");
  EXPECT_EQ(run.c("EQU NAME TO REC<2>\nREC = 'x'\nNAME = 'y'\nC = REC"), m("x^y"));
}

TEST(Stop, EndsTheWholeCall) {
  Host run;
  run.programs["INNER"] = "SUBROUTINE INNER(T)\nT := ' inner'\nSTOP\nT := ' never'\nRETURN";
  EXPECT_EQ(run.c("C = 'before'\nCALL INNER(C)\nC := ' after'"), "before inner");
  EXPECT_EQ(run.c("C = 'a'\nSTOP\nC = 'b'"), "a");
  run.c("C = 1\nSTOP 'done'");
  ASSERT_FALSE(run.printed.empty());
  EXPECT_EQ(run.printed.back(), "done");
  // The Pick form: a message number and its arguments, joined by blanks.
  EXPECT_EQ(run.c("C = 'kept'\nSTOP 201, 'CUST'\nC = 'never'"), "kept");
  EXPECT_EQ(run.printed.back(), "201 CUST");
  EXPECT_EQ(error(run, "C = 1\nABORT 201, 'CUST', 3 + 4"), "3: ABORT: 201 CUST 7");
  EXPECT_EQ(error(run, "ABORT"), "2: ABORT");
}

TEST(AtVariables, KnownOnesHaveValuesOthersAreRefused) {
  Host run;
  EXPECT_EQ(run.c("C = SEQ(@TM) : ',' : @TRUE : @FALSE : ',' : (@DATE = DATE()) : ',' : NUM(@TIME) : NUM(@USERNO)"),
            "251,10,1,11");
  EXPECT_EQ(error(run, "C = 1\nC = @ID"), "3: syntax error: unknown variable @ID");
  EXPECT_EQ(error(run, "C = @NOSUCH"), "2: syntax error: unknown variable @NOSUCH");
}

TEST(Numbers, PrintWithFourDecimalsAndWholeNumbersInFull) {
  Host run;
  EXPECT_EQ(run.c("C = 1/3 : ',' : 2/3 : ',' : 10/4 : ',' : 1/1000000 : ',' : -0.5"), "0.3333,0.6667,2.5,0,-0.5");
  EXPECT_EQ(run.c("C = 100000 * 100000 * 100000 * 100000 : ',' : 2 ** 10 : ',' : (12345678.123456 + 0)"),
            "100000000000000000000,1024,12345678.1235");
  EXPECT_EQ(run.c("C = (0.1 + 0.2 = 0.3) : ',' : SQRT(2) : ',' : INT(-1.5)"), "1,1.4142,-1");
}

// A number keeps its full precision until it is written as a text.
TEST(Numbers, KeepFullPrecisionBetweenStatements) {
  Host run;
  EXPECT_EQ(run.c("X = 1/3\nC = X * 3"), "1");
  EXPECT_EQ(run.c("X = 1/3\nY = X : ''\nC = Y * 3"), "0.9999");  // a text holds what was written
  EXPECT_EQ(run.c("X = 2/3\nC = X : ',' : (X = 0.6667) : ',' : (X < 0.6667)"), "0.6667,0,1");
  EXPECT_EQ(run.c("X = 1/3\nC<2> = X\nC<3> = X * 3"), m("^0.3333^1"));
  EXPECT_EQ(run.c("FOR I = 1 TO 10\n X += 0.1\nNEXT I\nC = (X = 1) : ',' : X"), "1,1");
  std::vector<std::string> args = run("A = 10/3\nB = A + 0", {"", "", ""});
  EXPECT_EQ(args[0], "3.3333");  // parameters return as texts
  EXPECT_EQ(args[1], "3.3333");
  run.programs["TRIPLE"] = "SUBROUTINE TRIPLE(X)\nX = X * 3\nRETURN";
  EXPECT_EQ(run.c("C = 1/3\nCALL TRIPLE(C)"), "1");  // passed by reference as a number
}

// S = S : X appends in place; the right side still sees S as it was.
TEST(Texts, AppendingToTheSameVariable) {
  Host run;
  EXPECT_EQ(run.c("C = 'ab'\nC = C : C : '-' : C"), "abab-ab");
  EXPECT_EQ(run.c("C = 5\nC = C : 1/4"), "50.25");
  EXPECT_EQ(run.c("C = 'x'\nC = C : LEN(C) : C"), "x1x");
  EXPECT_EQ(run.c("C = 'x'\nD = C\nC = C : 'y'\nC := D"), "xyx");
  EXPECT_EQ(error(run, "X = 'ab'\nFOR I = 1 TO 40\n X = X : 'abcdefgh' : X\nNEXT I"),
            "4: a value of more than 67108864 bytes (MaxValueSize)");
}

TEST(Texts, CountCharactersOfUtf8) {
  Host run;
  EXPECT_EQ(run.c("X = 'Müller'\nC = LEN(X) : ',' : X[1,2] : ',' : X[2] : ',' : INDEX(X, 'l', 1)"), "6,Mü,er,3");
  EXPECT_EQ(run.c("C = UPCASE('Sveavägen ćž') : DOWNCASE(' ÅÉ')"), "SVEAVÄGEN ĆŽ åé");
  EXPECT_EQ(run.c("C = LEN('a':@AM:'b')"), "3");  // a mark is one character
}

TEST(Statements, ConvertMatchesAndPower) {
  Host run;
  EXPECT_EQ(run.c("C = 'abc'\nCONVERT 'ab' TO 'x' IN C"), "xc");
  EXPECT_EQ(run.c("C = ('ABC' MATCHES '3A') : ('123' MATCHES '3N') : ('12' MATCHES '3N') : ('' MATCHES '0N') : ('a-1' "
                  "MATCHES \"1A'-'1N\")"),
            "11011");
  EXPECT_EQ(run.c("C = ('ab' MATCHES '2N':@VM:'2A') : ('x' MATCHES '0X') : (STR('a', 5000) MATCHES '0X0X0X0Xb')"),
            "110");
  EXPECT_EQ(run.c("C = 2 ** 3 ^ 2"), "64");
  EXPECT_EQ(error(run, "C = NOSUCH(1)"), "2: syntax error: unknown function NOSUCH");
}

TEST(Includes, InsertAnItemOfBpOrANamedFileAsItIsWritten) {
  Host run;
  run.programs["DEFS"] = "EQU TEN TO 10\nX = 5 ; * set here";
  run.programs["NESTED"] = "$INSERT DEFS\nY = 1";
  EXPECT_EQ(run.c("$INCLUDE DEFS\nC = TEN + X"), "15");
  EXPECT_EQ(run.c("$INSERT BP DEFS\nC = X"), "5");
  EXPECT_EQ(run.c("INCLUDE BP,DEFS\nC = X"), "5");
  EXPECT_EQ(run.c("$INCLUDE NESTED\nC = X + Y"), "6");
  EXPECT_EQ(run.c("INCLUDE = 3\nC = INCLUDE"), "3");  // a variable of that name
  EXPECT_EQ(error(run, "C = 1\n$INCLUDE NOPE"), "3: syntax error: $INCLUDE: no item NOPE in BP");
  EXPECT_EQ(error(run, "$INCLUDE OTHER.FILE DEFS"), "2: syntax error: $INCLUDE: no item DEFS in OTHER.FILE");
  run.programs["BAD"] = "X = 1\nY = (";
  EXPECT_EQ(error(run, "C = 1\n$INCLUDE BAD"),
            "3: syntax error: in BP BAD line 2: expected a value, found end of line");
  run.programs["BADCHAR"] = "X = 1\nY = ~";
  EXPECT_EQ(error(run, "$INCLUDE BADCHAR"), "2: syntax error: in BP BADCHAR line 2: unexpected character '~'");
  run.programs["SELF"] = "$INCLUDE SELF";
  EXPECT_EQ(error(run, "$INCLUDE SELF").substr(0, 40), "2: syntax error: in BP SELF line 1: in B");
  // A run-time error in included code names the line of the $INCLUDE.
  run.programs["DIVIDE"] = "C = 1\nC = C / 0";
  EXPECT_EQ(error(run, "X = 1\n$INCLUDE DIVIDE"), "3: division by zero");
}

// One interpreter keeps its compiled programs across calls; an edit of an
// included item, however deep, must reach the next call.
TEST(Includes, AnEditedOrRemovedIncludedItemIsCompiledAgain) {
  std::map<std::string, std::string> bp = {{"MAIN", "SUBROUTINE MAIN(X)\n$INCLUDE RATES\nX = RATE"},
                                           {"RATES", "$INSERT BASE\nRATE = BASE * 2"},
                                           {"BASE", "BASE = 10"}};
  std::map<std::string, int> reads;
  Interpreter vm([&](const std::string& name) -> std::optional<std::string> {
    ++reads[name];
    auto found = bp.find(name);
    if (found == bp.end()) return std::nullopt;
    return found->second;
  });
  std::vector<std::string> args{""};
  vm.call("MAIN", args);
  EXPECT_EQ(args[0], "20");
  bp["RATES"] = "$INSERT BASE\nRATE = BASE * 3";
  vm.call("MAIN", args);
  EXPECT_EQ(args[0], "30");
  bp["BASE"] = "BASE = 7";  // included by the included item
  vm.call("MAIN", args);
  EXPECT_EQ(args[0], "21");
  bp.erase("BASE");
  try {
    vm.call("MAIN", args);
    FAIL() << "ran without BASE";
  } catch (const BasicError& e) {
    EXPECT_EQ(e.line(), 2);
    EXPECT_EQ(e.cause(), "syntax error: in BP RATES line 1: $INSERT: no item BASE in BP");
  }
  bp["BASE"] = "BASE = 1";
  vm.call("MAIN", args);
  EXPECT_EQ(args[0], "3");
  // Within one call the included items are read again once, not at each CALL.
  bp["MAIN"] = "SUBROUTINE MAIN(X)\nFOR I = 1 TO 3\n CALL EDIT(X)\nNEXT I";
  bp["EDIT"] = "SUBROUTINE EDIT(X)\n$INCLUDE BASE\nX := BASE";
  args[0] = "";
  vm.call("MAIN", args);
  EXPECT_EQ(args[0], "111");
  reads.clear();
  EXPECT_EQ(vm.parameterCount("MAIN"), 1u);
  bp["BASE"] = "BASE = 2";
  args[0] = "";
  vm.call("MAIN", args);
  EXPECT_EQ(args[0], "222");
  EXPECT_EQ(reads["BASE"], 2);  // read again for EDIT, and read to compile it anew
}

TEST(Directives, OptionsAndCompilerDirectivesAreAcceptedOthersListed) {
  Host run;
  EXPECT_EQ(run.c("$OPTIONS INFORMATION\n$CATALOG\n$COPYRIGHT 'Pelorix'\nC = 1"), "1");
  EXPECT_EQ(error(run, "C = 1\n$OPTIONS PICK.FORMAT, INFORMATION VAR.SELECT"),
            "3: syntax error: $OPTIONS this host does not support: PICK.FORMAT, VAR.SELECT");
  EXPECT_EQ(error(run, "$MODE PICK"), "2: syntax error: unknown directive $MODE");
  Interpreter vm;
  std::vector<std::string> none;
  EXPECT_NO_THROW(vm.run("MAIN", "PROGRAM MAIN\nX = 1\nEND", none));
  std::vector<std::string> one{""};
  EXPECT_THROW(vm.run("MAIN", "PROGRAM MAIN\nX = 1\nEND", one), BasicError);
}

TEST(Statements, LabelsCommentsGoAndOutputWithoutANewLine) {
  Host run;
  EXPECT_EQ(
      run.c(
          "GO 10\nC = 'skipped'\n10 * a comment after a label\nC := 'a'\nGO TO DONE\nC = 'no'\nDONE: ! done\nC := 'b'"),
      "ab");
  EXPECT_EQ(run.c("GOSUB ADD ; C := 'x'\nRETURN\nADD: REM adds\nC := 1\nRETURN"), "1x");
  run.c("CRT 'a' :\nCRT 'b' : 1 :\nPRINT\nPRINT 'c':\nDISPLAY 'd'\nCRT 'e':");
  EXPECT_EQ(run.printed, (std::vector<std::string>{"ab1", "cd", "e"}));
}

TEST(Statements, FormatCodesAfterAValue) {
  Host run;
  EXPECT_EQ(run.c("X = 42\nC = X 'R#6' : '|'"), "    42|");
  EXPECT_EQ(run.c("C = 1 + 2 'L#3' : '|' : 'ab' \"R#4\""), "3  |  ab");
  EXPECT_EQ(run.c("C = 1234.5 'R2,$#12'"), "   $1,234.50");
  EXPECT_EQ(error(run, "C = 1 'Q#'"), "2: syntax error: unknown format \"Q#\"");
}

TEST(Functions, DeffunCallsAFunctionProgramForItsValue) {
  Host run;
  run.programs["ADD.TAX"] = "FUNCTION ADD.TAX(AMOUNT, RATE)\nRETURN (AMOUNT * (1 + RATE / 100))\nEND";
  run.programs["BUMP"] = "FUNCTION BUMP(X)\nX += 1\nRETURN X * 2";
  run.programs["THIRD"] = "FUNCTION THIRD(X)\nRETURN X / 3";
  run.programs["PICK"] = "FUNCTION PICK(X)\nGOSUB CHOOSE\nRETURN 'after'\nCHOOSE:\nIF X THEN RETURN 'early'\nRETURN";
  run.programs["EMPTY"] = "FUNCTION EMPTY\nX = 1";
  run.programs["SUB"] = "SUBROUTINE SUB(X)\nRETURN";
  EXPECT_EQ(run.c("DEFFUN ADD.TAX(A, B)\nC = ADD.TAX(100, 20)"), "120");
  EXPECT_EQ(run.c("DEFFUN GROSS(A, B) CALLING 'ADD.TAX'\nC = GROSS(10, 10) : ''"), "11");
  EXPECT_EQ(run.c("DEFFUN BUMP(X)\nN = 1\nC = BUMP(N) : ',' : N"), "4,2");  // by reference
  EXPECT_EQ(run.c("DEFFUN THIRD(X)\nC = THIRD(1) * 3"), "1");               // a number keeps its precision
  EXPECT_EQ(run.c("DEFFUN PICK(X)\nC = PICK(1) : ',' : PICK(0)"), "early,after");
  EXPECT_EQ(run.c("DEFFUN EMPTY()\nC = '[' : EMPTY() : ']'"), "[]");
  EXPECT_EQ(error(run, "DEFFUN ADD.TAX(A, B)\nC = ADD.TAX(1)"), "3: syntax error: ADD.TAX takes 2 arguments (DEFFUN)");
  EXPECT_EQ(error(run, "C = ADD.TAX(1, 2)"), "2: syntax error: unknown function ADD.TAX");
  EXPECT_EQ(error(run, "DEFFUN NOPE(A)\nC = NOPE(1)"), "3: no FUNCTION NOPE");
  EXPECT_EQ(error(run, "CALL ADD.TAX(1, 2)"), "2: ADD.TAX is a FUNCTION: call it as one, after DEFFUN");
  EXPECT_EQ(error(run, "DEFFUN SUB(X)\nC = SUB(1)"), "3: SUB is not a FUNCTION");
  Interpreter vm([&](const std::string& name) { return std::optional<std::string>(run.programs[name]); });
  std::vector<std::string> args{"1"};
  EXPECT_THROW(vm.call("BUMP", args), BasicError);
}

TEST(Arrays, DimensionedElementsMatAndMatParameters) {
  Host run;
  EXPECT_EQ(run.c("DIM A(3)\nA(1) = 'x'\nA(3) = 5\nC = A(1) : A(2) : A(3) * 2"), "x10");
  EXPECT_EQ(run.c("DIM T(2,3)\nFOR I = 1 TO 2\n FOR J = 1 TO 3\n  T(I,J) = I * 10 + J\n NEXT J\nNEXT I\n"
                  "C = T(2,3) : ',' : T(1,2)"),
            "23,12");
  EXPECT_EQ(run.c("DIM R(2)\nR(1) = 'a':@VM:'b'\nR(1)<1,3> = 'c'\nR(2) := 'd'\nC = R(1)<1,2> : R(1)<1,3> : R(2)"),
            "bcd");
  EXPECT_EQ(run.c("DIM A(3), B(2)\nMAT A = 'z'\nMAT B = MAT A\nA(2) = 'y'\nC = A(1) : A(2) : B(2)"), "zyz");
  EXPECT_EQ(run.c("DIM A(2)\nA(1) = 'k'\nDIM A(5)\nA(5) = 'e'\nC = A(1) : A(5) : A(0)"), "ke");
  EXPECT_EQ(run.c("DIMENSION A(2)\nA(0) = 'zero'\nC = A(0) : ASSIGNED(A(1))"), "zero0");
  run.programs["FILL"] = "SUBROUTINE FILL(MAT X, N)\nFOR I = 1 TO N\n X(I) = I * I\nNEXT I\nRETURN";
  EXPECT_EQ(run.c("DIM Q(4)\nCALL FILL(MAT Q, 4)\nC = Q(2) : ',' : Q(4)"), "4,16");
  run.programs["DOUBLE"] = "SUBROUTINE DOUBLE(X)\nX = X * 2\nRETURN";
  EXPECT_EQ(run.c("DIM A(2)\nA(2) = 21\nCALL DOUBLE(A(2))\nC = A(2)"), "42");  // an element by reference
  EXPECT_EQ(error(run, "DIM A(3)\nC = A(4)"), "3: A(4) is outside DIM A(3)");
  EXPECT_EQ(error(run, "DIM T(2,2)\nC = T(3,1)"), "3: T(3,1) is outside DIM T(2,2)");
  EXPECT_EQ(error(run, "DIM T(2,2)\nC = T(1)"), "3: T(1) is outside DIM T(2,2)");
  EXPECT_EQ(error(run, "C = A(1)"), "2: syntax error: unknown function A");
  EXPECT_EQ(error(run, "DIM A(2)\nC = A"), "3: syntax error: A is an array: name an element, A(n)");
  EXPECT_EQ(error(run, "MAT Z = 1"), "2: syntax error: Z is not a dimensioned array");
  EXPECT_EQ(error(run, "N = 0\nDIM A(N)"), "3: DIM A needs sizes of 1 or more");
  EXPECT_EQ(error(run, "X = 1\nCALL FILL(X, 1)"), "1: argument 1 must be MAT X");
  EXPECT_EQ(error(run, "DIM A(1)\nCALL DOUBLE(MAT A)"), "1: argument 1 cannot be MAT for X");
  EXPECT_EQ(error(run, "GOTO 10\nDIM A(1)\n10 C = A(1)"), "4: A has not been dimensioned");
}

TEST(Arrays, MatbuildJoinsElementsAndMatparseSpreadsThem) {
  Host run;
  std::string abcd = "DIM A(4)\nA(1) = 'a'; A(2) = 'b'; A(3) = 'c'; A(4) = 'd'; A(0) = 'zero'\n";
  EXPECT_EQ(run.c(abcd + "MATBUILD C FROM A"), m("a^b^c^d^zero"));      // the zero element last, as MATWRITE
  EXPECT_EQ(run.c(abcd + "MATBUILD C FROM A, 2, 3 USING ','"), "b,c");  // not up to the end: without it
  EXPECT_EQ(run.c(abcd + "MATBUILD C FROM A, 3"), m("c^d^zero"));
  EXPECT_EQ(run.c("DIM A(3)\nMATPARSE A FROM 'a,,b,c,d', ','\nMATBUILD C FROM A USING ','"), "a,,b,c,d");
  EXPECT_EQ(run.c(abcd + "A(0) = ''\nMATBUILD C FROM A, 0, 9 USING ''"), "abcd");  // out of range: the whole
  EXPECT_EQ(run.c(abcd + "A(0) = ''; A(3) = ''; A(4) = ''\nMATBUILD C FROM A USING @VM"), m("a]b"));  // trailing
  EXPECT_EQ(run.c(abcd + "A(0) = ''; A(2) = ''\nMATBUILD C FROM A"), m("a^^c^d"));
  EXPECT_EQ(run.c(abcd + "A(4) = ''\nMATBUILD C FROM A"), m("a^b^c^^zero"));  // the zero element keeps its place
  EXPECT_EQ(run.c("DIM T(2,2)\nT(1,1) = 1; T(1,2) = 2; T(2,1) = 3\nMATBUILD C FROM T"), m("1^2^3"));
  std::string three = "DIM A(3)\nA(3) = 'old'\n";
  EXPECT_EQ(run.c(three + "MATPARSE A FROM 'a':@AM:'b'\nC = A(1) : '|' : A(2) : '|' : A(3)"), "a|b|");
  EXPECT_EQ(run.c(three + "MATPARSE A FROM 'x,y', ','\nC = A(1) : A(2)"), "xy");
  EXPECT_EQ(run.c(three + "MATPARSE A FROM 'p':@VM:'q' USING @VM\nC = A(2)"), "q");
  EXPECT_EQ(run.c("DIM A(2)\nMATPARSE A FROM 'a,b,c,d' USING ','\nC = A(2) : '|' : A(0)"), "b|c,d");
  EXPECT_EQ(run.c("DIM A(2)\nMATPARSE A FROM X\nC = A(1) : '|' : A(0)"), "|");
  // INMAT(): the elements loaded, 0 when the parts did not all fit.
  EXPECT_EQ(run.c(three + "MATPARSE A FROM 'a,b', ','\nC = INMAT()"), "2");
  EXPECT_EQ(run.c(three + "MATPARSE A FROM 'a,b,c', ','\nC = INMAT()"), "3");
  EXPECT_EQ(run.c(three + "MATPARSE A FROM 'a,b,c,', ','\nC = INMAT() : A(0)"), "0");
  EXPECT_EQ(run.c(three + "MATPARSE A FROM ''\nC = INMAT()"), "0");
  // After DIM 0, as UniVerse gives for a DIM that got its memory.
  EXPECT_EQ(run.c(three + "C = INMAT()"), "0");
  EXPECT_EQ(run.c(three + "MATPARSE A FROM 'a'\nDIM A(5)\nC = INMAT()"), "0");
  // INMAT(A): the array's sizes.
  EXPECT_EQ(run.c("DIM A(3), T(2,4)\nCOMMON V(5)\nC = INMAT(A) : ',' : INMAT(T) : ',' : INMAT(V)"), m("3,2]4,5"));
  EXPECT_EQ(run.c("DIM A(3)\nDIM A(7)\nC = INMAT(A)"), "7");
  EXPECT_EQ(error(run, "C = INMAT(1)"), "2: syntax error: INMAT takes a dimensioned array, INMAT(A), or nothing");
  EXPECT_EQ(error(run, "DIM A(2)\nC = INMAT(A(1))"),
            "3: syntax error: INMAT takes a dimensioned array, INMAT(A), or nothing");
  EXPECT_EQ(error(run, "GOTO 10\nDIM A(2)\n10 C = INMAT(A)"), "4: A has not been dimensioned");
  EXPECT_EQ(error(run, "DIM A(2)\nMATPARSE A FROM 'a', ''"),
            "3: syntax error: MATPARSE takes a delimiter of one character, not \"\"");
  EXPECT_EQ(error(run, "DIM A(2)\nD = ',;'\nMATPARSE A FROM 'a', D"),
            "4: MATPARSE takes a delimiter of one character, not \",;\"");
  EXPECT_EQ(error(run, "DIM A(2)\nMATPARSE A, 1 FROM 'a'"),
            "3: syntax error: MATPARSE into a part of an array (a start and an end) is not available");
  EXPECT_EQ(error(run, "DIM A(2)\nMATPARSE A FROM 'a' SETTING N"),
            "3: syntax error: MATPARSE ... SETTING is not available: INMAT() gives the count");
  EXPECT_EQ(error(run, "MATBUILD C FROM Z"), "2: syntax error: Z is not a dimensioned array");
  EXPECT_EQ(error(run, "GOTO 10\nDIM A(1)\n10 MATPARSE A FROM 'x'"), "4: A has not been dimensioned");
}

TEST(Functions, SystemTimedateColumnsTrimLowerRaiseSwap) {
  Host run;
  EXPECT_EQ(run.c("C = NUM(SYSTEM(9)) : SYSTEM(11)"), "10");
  EXPECT_EQ(error(run, "C = SYSTEM(2)"), "2: syntax error: SYSTEM(2) is not available");  // no printer
  EXPECT_EQ(error(run, "N = 2\nC = SYSTEM(N)"), "3: SYSTEM(2) is not available");
  EXPECT_EQ(run.c("T = TIMEDATE()\nC = LEN(T) : T[3,1] : T[6,1] : (T[13,3] MATCHES '3A')"), "20::1");
  EXPECT_EQ(run.c("C = FIELD('ab,cd,ef', ',', 2) : COL1() : COL2()"), "cd36");
  EXPECT_EQ(run.c("C = FIELD('ab,cd,ef', ',', 1) : COL1() : COL2() : FIELD('ab,cd,ef', ',', 2, 2) : COL2()"),
            "ab03cd,ef9");
  EXPECT_EQ(run.c("C = FIELD('ab', ',', 3) : COL1() : COL2()"), "00");
  EXPECT_EQ(run.c("C = TRIM('..a..b..', '.') : '|' : TRIM('..a..b..', '.', 'A') : '|' : TRIM('..a..b..', '.', 'L')"),
            "a.b|ab|a..b..");
  EXPECT_EQ(run.c("C = TRIM('  a  ', ' ', 'T') : '|' : TRIM('  a  b  ', ' ', 'B') : '|'"), "  a|a  b|");
  EXPECT_EQ(error(run, "C = TRIM('a', 'xy')"), "2: TRIM takes one character to remove");
  EXPECT_EQ(error(run, "C = TRIM('a', ' ', 'Q')"), "2: TRIM type \"Q\" is not one of A B D E F L R T");
  EXPECT_EQ(run.c("C = LOWER(A) : '|' : RAISE(LOWER(A))", {m("a^b]c\\d"), "", ""}),
            m("a]b\\c") + "\xFB" + "d|" + m("a^b]c\\d"));
  EXPECT_EQ(run.c("C = RAISE('a' : @VM : 'b')"), m("a^b"));
  EXPECT_EQ(run.c("C = SWAP('a-b-c-d', '-', '+') : ' ' : CHANGE('a-b-c-d', '-', '+', 2) : ' ' : EREPLACE('a-b-c-d', "
                  "'-', '+', 1, 2)"),
            "a+b+c+d a+b+c-d a-b+c-d");
}

TEST(Statements, RemoveWalksTheElementsAndTheirMarks) {
  Host run;
  std::string walk = "LOOP\n REMOVE E FROM A SETTING D\n C := E : '(' : D : ')'\nWHILE D REPEAT";
  EXPECT_EQ(run.c(walk, {m("a]b^c\\d"), "", ""}), "a(3)b(2)c(4)d(0)");
  EXPECT_EQ(run.c(walk, {"", "", ""}), "(0)");
  EXPECT_EQ(run.c(walk, {m("a^"), "", ""}), "a(2)(0)");
  // An assignment to the array starts it again from the front.
  EXPECT_EQ(run.c("A = 'x':@AM:'y'\nE = REMOVE(A, D)\nA = 'p':@AM:'q'\nC = REMOVE(A, D) : D"), "p2");
  EXPECT_EQ(run.c("A = 'x'\nE = REMOVE(A, D)\nC = '[' : REMOVE(A, D) : D : ']'"), "[0]");
}

TEST(Statements, OnGotoGosubForWhileIncrementsAndLocateForms) {
  Host run;
  std::string on = "ON A GOSUB ONE, TWO\nC := '.'\nRETURN\nONE: C := 'one' ; RETURN\nTWO: C := 'two' ; RETURN";
  EXPECT_EQ(run.c(on, {"2", "", ""}), "two.");
  EXPECT_EQ(run.c(on, {"3", "", ""}), "two.");  // past the last: the last
  EXPECT_EQ(run.c(on, {"0", "", ""}), "one.");  // below 1: the first
  EXPECT_EQ(run.c("ON A GO TO 10, 20\n10 C = 'ten' ; RETURN\n20 C = 'twenty'", {"2", "", ""}), "twenty");
  EXPECT_EQ(error(run, "ON 1 GOSUB NOWHERE"), "2: syntax error: no label NOWHERE");
  EXPECT_EQ(run.c("FOR I = 1 TO 10 WHILE I < 4\n C := I\nNEXT I\nC := '|' : I"), "123|4");
  EXPECT_EQ(run.c("FOR I = 1 TO 10 UNTIL I * I > 10\n C := I\nNEXT I"), "123");
  EXPECT_EQ(run.c("C = 5\nC++\nC++\nD = 1\nD--\nC := D"), "70");
  EXPECT_EQ(run.c("C = 2 ++ 1 : 3 -- 1"), "34");  // operators in an expression stay operators
  std::vector<std::string> args = {m("c]a]b]a"), "AL", ""};
  EXPECT_EQ(run.c("LOCATE 'a' IN A<1>, 3 SETTING P THEN C = P", args), "4");
  EXPECT_EQ(run.c("LOCATE 'c' IN A<1>, 2 SETTING P ELSE C = 'no ' : P", args), "no 5");
  EXPECT_EQ(run.c("LOCATE 'b' IN A<1>, 9 SETTING P ELSE C = P", args), "5");
  std::vector<std::string> sorted = {m("a]c]e"), "AL", "DL"};
  EXPECT_EQ(run.c("LOCATE 'd' IN A<1> BY B SETTING P ELSE C = P", sorted), "3");
  EXPECT_EQ(run.c("O = 'A' : 'L'\nLOCATE 'b' IN A<1> BY O SETTING P ELSE C = P", sorted), "2");
  EXPECT_EQ(error(run, "LOCATE 'd' IN A<1> BY C SETTING P ELSE C = P"),
            "2: LOCATE BY \"\": the order must be AL, AR, DL or DR");
}

TEST(Statements, ReadnextAsTheConditionOfALoop) {
  Host run;
  EXPECT_EQ(run.c("FORMLIST 'a':@AM:'b'\nLOOP WHILE READNEXT ID DO\n C := ID\nREPEAT\nC := '.'"), "ab.");
  EXPECT_EQ(run.c("FORMLIST 'x':@AM:'y' TO L\nLOOP\n C := '+'\nWHILE READNEXT ID FROM L DO C := ID\nREPEAT"), "+x+y+");
  EXPECT_EQ(run.c("LOOP UNTIL READNEXT ID DO\n C := 'n'\n IF LEN(C) > 2 THEN EXIT\nREPEAT"), "nnn");  // no list
}

TEST(Statements, CallThroughAVariableHoldingTheName) {
  Host run;
  run.programs["SET.ONE"] = "SUBROUTINE SET.ONE(X)\nX = 'one'\nRETURN";
  EXPECT_EQ(run.c("N = 'SET.ONE'\nCALL @N(C)"), "one");
  EXPECT_EQ(error(run, "CALL @N(C)"), "2: CALL @N: N holds no subroutine name");
  EXPECT_EQ(error(run, "N = 'NOPE'\nCALL @N(C)"), "3: no program NOPE to CALL");
}

TEST(Statements, SubstringAssignmentReplacesThoseCharacters) {
  Host run;
  EXPECT_EQ(run.c("C = 'abcdef'\nC[2,3] = 'XY'"), "aXYef");
  EXPECT_EQ(run.c("C = 'abc'\nC[4,0] = 'd'\nC[1,0] = '>'"), ">abcd");
  EXPECT_EQ(run.c("C = 'Müller'\nC[2,1] = 'u'"), "Muller");
  EXPECT_EQ(run.c("DIM R(1)\nR(1) = 'abc'\nR(1)[2,5] = '-'\nC = R(1)"), "a-");
  EXPECT_EQ(error(run, "C = 'abc'\nC[5,1] = 'x'"),
            "3: C[5, 1] = value: the start must be 1 to one past the last character, the length 0 or more");
  EXPECT_EQ(error(run, "C[2] = 'x'"), "2: syntax error: C[n] = value is not available: give a start and a length");
  EXPECT_EQ(error(run, "C[',', 2, 1] = 'x'"),
            "2: syntax error: C[delimiter, occurrence, count] = value is not available");
}

TEST(Statements, FindAndFindstrGiveThePositionsOfAnElement) {
  Host run;
  std::vector<std::string> args = {m("a]b^c]d\\e^b"), "", ""};
  EXPECT_EQ(run.c("FIND 'e' IN A SETTING F, V, S THEN C = F : V : S", args), "222");
  EXPECT_EQ(run.c("FIND 'b' IN A, 2 SETTING F, V ELSE NULL\nC = F : V", args), "31");
  EXPECT_EQ(run.c("FIND 'd\\e' IN A SETTING F ELSE C = 'no'", args), "no");  // an element, not a value
  EXPECT_EQ(run.c("F = 'x'\nFIND 'z' IN A SETTING F ELSE C = 'none ' : F", args), "none x");
  EXPECT_EQ(run.c("FINDSTR 'd' IN A SETTING F, V, S THEN C = F : V : S", args), "221");
  EXPECT_EQ(run.c("FINDSTR '' IN A, 5 SETTING F, V, S THEN C = F : V : S", args), "222");
  EXPECT_EQ(error(run, "FIND 'a' IN A SETTING"),
            "2: syntax error: expected a variable for the attribute, found end of line");
}

TEST(Statements, ReturnToClearSleepPrecisionAndLit) {
  Host run;
  EXPECT_EQ(run.c("GOSUB SUB\nC := 'no'\nDONE: C := 'done'\nRETURN\nSUB: C = 'sub '\nRETURN TO DONE"), "sub done");
  EXPECT_EQ(error(run, "RETURN TO X\nX: C = 1"), "2: RETURN TO X without a GOSUB");
  EXPECT_EQ(run.c("X = 'a'\nDIM D(2)\nD(1) = 'z'\nCLEAR\nC = X : D(1) : D(2) : ASSIGNED(Y) : Y"), "00010");
  EXPECT_EQ(run.c("COMMON /K/ K\nK = 'kept'\nX = 1\nCLEAR\nC = K : X"), "kept0");
  std::vector<std::string> args = run("CLEAR", {"in", "", ""});
  EXPECT_EQ(args[0], "0");  // a parameter is a variable of the program
  EXPECT_EQ(run.c("SLEEP 0\nRQM 0\nC = 1"), "1");
  EXPECT_EQ(error(run, "SLEEP 100000").substr(0, 41), "2: SLEEP 100000 would outlast the call's ");
  EXPECT_EQ(error(run, "SLEEP '10:30'"), "2: SLEEP until a time of day is not available");
  EXPECT_EQ(run.c("PRECISION 4\nC = 1/3"), "0.3333");
  EXPECT_EQ(error(run, "PRECISION 6"), "2: syntax error: PRECISION 6 is not available: numbers print with 4 decimals");
  EXPECT_EQ(run.c("EQUATE GREETING LIT 'hi', N LIT 2\nC = GREETING : N"), "hi2");
  EXPECT_EQ(error(run, "EQU X AS 1"), "2: syntax error: expected TO or LIT after EQU X");
}

TEST(Statements, TerminalInputIsParsedButRefusedWhenItRuns) {
  Host run;
  EXPECT_EQ(run.c("IF 0 THEN\n INPUT X\n PROMPT '?'\n CRT @(0, 0) : 'x'\nEND\nC = 1"), "1");
  EXPECT_EQ(error(run, "C = 1\nINPUT X, 5"), "3: INPUT is not available: a HotSync has no terminal");
  EXPECT_EQ(error(run, "PROMPT ''"), "2: PROMPT is not available: a HotSync has no terminal");
  EXPECT_EQ(error(run, "CRT @(10, 2) : 'x'"), "2: @(column, row) is not available: a HotSync has no terminal");
}

// Statements for pages and printers compile and fail the call when they
// run; those that change nothing without a terminal are accepted.
TEST(Statements, PrinterAndPageStatementsAreRefusedWhenTheyRun) {
  Host run;
  EXPECT_EQ(
      run.c("IF 0 THEN\n HEADING 'x'\n FOOTING 'y'\n PAGE\n PRINT ON 1 'x'\n PRINTER ON\n DATA 'a'\n PRINTERR 'e'\n"
            "END\nPRINTER OFF\nPRINTER CLOSE\nHUSH ON\nECHO OFF\nBREAK KEY OFF\nBREAK ON\nCLEARDATA\nC = 1"),
      "1");
  EXPECT_EQ(error(run, "C = 1\nPAGE"), "3: PAGE is not available: a HotSync has no printer");
  EXPECT_EQ(error(run, "PRINT ON 0 'x'"), "2: PRINT ON is not available: a HotSync has no printer");
  EXPECT_EQ(error(run, "PRINTER ON"), "2: PRINTER ON is not available: a HotSync has no printer");
  EXPECT_EQ(error(run, "DATA 'x', 'y'"), "2: DATA is not available: a HotSync has no terminal");
  EXPECT_EQ(error(run, "IF 1 THEN HEADING 'x' ELSE C = 2"), "2: HEADING is not available: a HotSync has no printer");
  EXPECT_EQ(run.c("IF 0 THEN HEADING 'x' ELSE C = 2"), "2");
  EXPECT_EQ(run.c("IF 0 THEN INPUT X THEN C = 1 ELSE C = 3\nC := 'x'"), "x");  // the ELSE is INPUT's
  EXPECT_EQ(error(run, "HUSH X"), "2: syntax error: expected ON or OFF after HUSH");
  EXPECT_EQ(error(run, "PRINTER 1"), "2: syntax error: expected ON, OFF or CLOSE after PRINTER");
}

TEST(Statements, CommonBlocksAreSharedByTheProgramsOfACall) {
  Host run;
  run.programs["ADD"] = "SUBROUTINE ADD\nCOMMON /SHARED/ TOTAL, COUNT\nTOTAL += 5\nCOUNT += 1\nRETURN";
  run.programs["MORE"] = "SUBROUTINE MORE\nCOMMON Y\nY := 'b'\nRETURN";
  EXPECT_EQ(run.c("COMMON /SHARED/ T, N\nT = 10\nCALL ADD\nCALL ADD\nC = T : ',' : N"), "20,2");
  EXPECT_EQ(run.c("COM X\nX = 'a'\nCALL MORE\nC = X"), "ab");
  EXPECT_EQ(run.c("CALL ADD\nCOMMON /SHARED/ T\nC = T"), "5");  // a new call starts with empty blocks
  EXPECT_EQ(error(run, "COMMON /B/ X, C"), "2: syntax error: C is a parameter and cannot be in COMMON");
  // A block declared over several statements: each goes on where the last left off.
  EXPECT_EQ(run.c("COMMON X\nCOMMON Y\nX = 1\nY = 2\nC = X : '/' : Y"), "1/2");
  EXPECT_EQ(run.c("COMMON /SHARED/ T\nCOM /SHARED/ N\nT = 1\nCALL ADD\nC = T : ',' : N"), "6,1");
  EXPECT_EQ(run.c("COMMON X\nCOMMON Y(3)\nY(2) = 'x'\nC = Y(2) : X"), "x");
}

TEST(Statements, ArraysInCommonAreDimensionedByItAndShared) {
  Host run;
  run.programs["FILL"] =
      "SUBROUTINE FILL\nCOMMON /DATA/ T(3), N\nFOR I = 1 TO 3\n T(I) = I * 10\nNEXT I\nN = 3\nRETURN";
  EXPECT_EQ(run.c("COMMON /DATA/ V(3), COUNT\nCALL FILL\nC = V(1) : ',' : V(3) : ',' : COUNT"), "10,30,3");
  run.programs["CORNER"] = "SUBROUTINE CORNER\nCOMMON X(2,2)\nX(2,2) := 'z'\nRETURN";
  EXPECT_EQ(run.c("COMMON Y(2,2)\nY(2,2) = 'a'\nCALL CORNER\nCALL CORNER\nC = Y(2,2) : Y(1,1)"), "azz");
  EXPECT_EQ(run.c("CALL FILL\nCOMMON /DATA/ V(3)\nC = V(2)"), "20");  // the subroutine made the block
  EXPECT_EQ(run.c("COMMON /DATA/ V(3)\nC = V(2)"), "");               // a new call starts with empty blocks
  EXPECT_EQ(run.c("COMMON /DATA/ V(3)\nV(1) = 'kept'\nX = 1\nCLEAR\nC = V(1) : X"), "kept0");
  run.programs["SUM"] = "SUBROUTINE SUM(MAT A, T)\nT = A(1) + A(2) + A(3)\nRETURN";
  EXPECT_EQ(run.c("COMMON /DATA/ V(3)\nCALL FILL\nCALL SUM(MAT V, C)"), "60");
  run.programs["LONGER"] = "SUBROUTINE LONGER\nCOMMON /DATA/ T(4)\nRETURN";
  EXPECT_EQ(error(run, "COMMON /DATA/ V(3)\nCALL LONGER"),
            "2: COMMON /DATA/: place 1 (T) is an array (4) here but an array (3) in the program that declared the "
            "block first");
  run.programs["PLAIN"] = "SUBROUTINE PLAIN\nCOMMON T\nRETURN";
  EXPECT_EQ(error(run, "COMMON V(3)\nCALL PLAIN"),
            "2: COMMON: place 1 (T) is a variable here but an array (3) in the program that declared the block first");
  EXPECT_EQ(error(run, "COMMON V(3)\nDIM V(5)"),
            "3: syntax error: V is in COMMON, which dimensions it: it cannot be dimensioned again");
  EXPECT_EQ(error(run, "N = 3\nCOMMON V(N)"), "3: syntax error: COMMON V( ) takes whole numbers from 1 to 999999");
  EXPECT_EQ(error(run, "COMMON V(0)"), "2: syntax error: COMMON V( ) takes whole numbers from 1 to 999999");
  EXPECT_EQ(error(run, "DIM V(2)\nCOMMON V(2)"), "3: syntax error: V is dimensioned already and cannot be in COMMON");
}

}  // namespace
}  // namespace pelorix::mv
