#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "desktop/atomic_file.h"
#include "mv/basic_host.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

struct BasicFiles : ::testing::Test {
  test::TempDir dir;
  Account account{dir.path()};
  Host run;
  BasicFiles() {
    account.createFile("MEMOS");
    account.write("MEMOS", "1", m("first^a]b"));
    account.write("MEMOS", "2", "second");
    run.account = &account;
  }
  std::string failure(const std::string& body) { return error(run, body); }
};

TEST_F(BasicFiles, OpenAndReadTakeTheirThenAndElse) {
  EXPECT_EQ(run.c("OPEN 'MEMOS' TO F ELSE C = 'no'; RETURN\nREAD R FROM F, '1' THEN C = R<2,2>"), "b");
  EXPECT_EQ(run.c("OPEN 'NOPE' TO F THEN C = 'yes' ELSE C = 'no'"), "no");
  EXPECT_EQ(run.c("OPEN '', 'MEMOS' TO F ELSE STOP\nREAD R FROM F, 'missing' ELSE C = 'none:' : R"), "none:");
  EXPECT_EQ(
      run.c(
          "OPEN 'MEMOS' TO F ELSE STOP\nREADU R FROM F, '2' LOCKED C = 'locked' THEN\n C = R\nEND ELSE\n C = '?'\nEND"),
      "second");
  EXPECT_EQ(run.c("OPEN 'MEMOS' TO F ELSE STOP\nREADV R FROM F, '1', 1 THEN C = R"), "first");
}

TEST_F(BasicFiles, IncludeReadsANamedFileOfTheAccount) {
  account.createFile("INCLUDES");
  account.write("INCLUDES", "COMMON.H", "EQU GREETING TO 'hello'");
  EXPECT_EQ(run.c("$INCLUDE INCLUDES COMMON.H\nC = GREETING"), "hello");
  try {
    run.c("$INCLUDE INCLUDES NOPE.H");
    FAIL();
  } catch (const BasicError& e) {
    EXPECT_EQ(e.line(), 2);
    EXPECT_EQ(e.cause(), "syntax error: $INCLUDE: no item NOPE.H in INCLUDES");
  }
}

TEST_F(BasicFiles, MatreadSpreadsAttributesOverAnArrayAndMatwriteJoinsThem) {
  std::string open = "OPEN 'MEMOS' TO F ELSE STOP\n";
  EXPECT_EQ(run.c("DIM R(3)\n" + open + "MATREAD R FROM F, '1' THEN C = R(1) : '|' : R(2) : '|' : R(3)"),
            m("first|a]b|"));
  EXPECT_EQ(run.c("DIM R(1)\n" + open + "MATREAD R FROM F, '1' ELSE NULL\nC = R(1) : '|' : R(0)"), m("first|a]b"));
  EXPECT_EQ(run.c("DIM R(2)\nR(1) = 'old'\n" + open + "MATREAD R FROM F, 'nope' ELSE C = 'none ' : R(1)"), "none old");
  EXPECT_EQ(run.c("DIM R(2)\n" + open + "MATREADU R FROM F, '2' THEN C = R(1)"), "second");
  EXPECT_EQ(run.c("DIM R(3)\n" + open + "MATREAD R FROM F, '1' THEN C = INMAT()"), "2");
  EXPECT_EQ(run.c("DIM R(1)\n" + open + "MATREAD R FROM F, '1' THEN C = INMAT()"), "0");  // overflowed
  EXPECT_EQ(run.c("DIM R(3)\n" + open + "MATREAD R FROM F, 'nope' ELSE C = INMAT()"), "0");
  EXPECT_EQ(failure("DIM R(3)\n" + open + "C = INMAT()"),
            "4: INMAT() after OPEN, the file's modulo, is not available: account files have none");
  run.c("DIM W(4)\nW(1) = 'a'\nW(3) = 'c'\n" + open + "MATWRITE W ON F, 'NEW'\nW(0) = 'z'\nMATWRITE W TO F, 'ZERO'");
  EXPECT_EQ(account.read("MEMOS", "NEW"), m("a^^c"));
  // The zero element's fields keep their places: a trailing empty element is written before them.
  EXPECT_EQ(account.read("MEMOS", "ZERO"), m("a^^c^^z"));
  account.write("MEMOS", "LONG", m("x^y^z^w"));
  run.c("DIM R(3)\n" + open + "MATREAD R FROM F, 'LONG' ELSE STOP\nR(3) = ''\nMATWRITE R ON F, 'LONG'");
  EXPECT_EQ(account.read("MEMOS", "LONG"), m("x^y^^w"));
}

TEST_F(BasicFiles, ReadseqAsTheConditionOfALoop) {
  std::ofstream(dir.path() / "lines.txt") << "one\ntwo\n";
  EXPECT_EQ(run.c("OPENSEQ 'lines.txt' TO F ELSE STOP\nLOOP WHILE READSEQ L FROM F DO\n C := L : ','\nREPEAT"),
            "one,two,");
  EXPECT_EQ(run.c("OPENSEQ 'lines.txt' TO F ELSE STOP\nREADSEQ L FROM F THEN C = L\nREADSEQ L FROM F ELSE C := '?'\n"
                  "READSEQ L FROM F THEN C := L ELSE C := ' end'"),
            "one end");
  // STATUS(): 0 after a line, 1 at the end of the file.
  EXPECT_EQ(run.c("OPENSEQ 'lines.txt' TO F ELSE STOP\nREADSEQ L FROM F ELSE NULL\nC = STATUS()\n"
                  "READSEQ L FROM F ELSE NULL\nREADSEQ L FROM F ELSE NULL\nC := STATUS()"),
            "01");
}

// STOP ends a call that succeeded; ABORT, with any arguments, fails it and
// leaves the account as it was.
TEST_F(BasicFiles, StopWithArgumentsKeepsTheChangesAbortDropsThem) {
  std::string write = "OPEN 'MEMOS' TO F ELSE STOP\nWRITE 'new' ON F, ";
  run.c(write + "'S'\nSTOP 201, 'MEMOS'");
  EXPECT_EQ(account.read("MEMOS", "S"), "new");
  EXPECT_THROW(run.c(write + "'A'\nABORT 201, 'MEMOS'"), BasicError);
  EXPECT_EQ(account.read("MEMOS", "A"), std::nullopt);
}

struct BasicQueries : BasicFiles {
  BasicQueries() {
    account.createFile("ORDERS");
    account.createFile("ORDERS.DIC");
    account.write("ORDERS.DIC", "CUSTOMER", m("D^1"));
    account.write("ORDERS.DIC", "TOTAL", m("D^2"));
    account.write("ORDERS.DIC", "NOTE", m("PH^CUSTOMER"));
    account.write("ORDERS", "O1", m("ACME^30"));
    account.write("ORDERS", "O2", m("BETA^5"));
    account.write("ORDERS", "O3", m("ACME]ZETA^12"));
  }
  std::string ids(const std::string& select) {
    return run.c(select + "\nLOOP\n READNEXT ID ELSE EXIT\n C := ID : ' '\nREPEAT");
  }
};

TEST_F(BasicQueries, ExecuteSelectFiltersAndSortsByTheDictionary) {
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH CUSTOMER = \"ACME\"'"), "O1 O3 ");  // any value matches
  EXPECT_EQ(ids("PERFORM 'SELECT ORDERS BY.DSND TOTAL'"), "O1 O3 O2 ");          // numbers as numbers
  EXPECT_EQ(ids("EXECUTE 'SSELECT ORDERS BY CUSTOMER'"), "O1 O3 O2 ");
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH TOTAL > \"10\" AND WITH CUSTOMER = \"ACME\"'"), "O1 O3 ");
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH TOTAL < \"10\" OR CUSTOMER = \"ZETA\"'"), "O2 O3 ");
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH CUSTOMER \"BETA\" \"ZETA\"'"), "O2 O3 ");  // no operator: equal
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH TOTAL'"), "O1 O2 O3 ");                    // not empty
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH @ID # \"O2\"'"), "O1 O3 ");
  EXPECT_EQ(run.c("EXECUTE 'SELECT ORDERS WITH @ID = \"O2\"' RTNLIST L\nREADNEXT ID FROM L THEN C = ID : SYSTEM(11)"),
            "O20");
  EXPECT_EQ(run.c("EXECUTE 'SELECT ORDERS'\nC = SYSTEM(11)"), "1");
  EXPECT_EQ(failure("EXECUTE 'LIST ORDERS'"), "2: EXECUTE: only SELECT and SSELECT are available, not \"LIST ORDERS\"");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS WITH NOPE = \"1\"'"),
            "2: EXECUTE: no field NOPE in the dictionary of ORDERS");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS WITH NOTE = \"1\"'"),
            "2: EXECUTE: no field NOTE in the dictionary of ORDERS");
  EXPECT_EQ(failure("EXECUTE 'SELECT NOFILE'"), "2: EXECUTE: no file NOFILE");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS SAMPLE 2'"), "2: EXECUTE: \"SAMPLE\" is not available in SELECT");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS' CAPTURING X"), "2: syntax error: EXECUTE ... CAPTURING is not available");
  EXPECT_EQ(failure("PERFORM 'SELECT ORDERS' RTNLIST L PASSLIST M"),
            "2: syntax error: PERFORM ... PASSLIST is not available");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS' TO X"),
            "2: syntax error: EXECUTE takes a command and RTNLIST only, not \"TO\"");
}

// A value in WITH is written as a person reads it; the dictionary item's
// conversion turns it into what the data holds before comparing.
TEST_F(BasicQueries, WithValuesAreConvertedByTheDictionary) {
  account.write("ORDERS.DIC", "DATE", m("D^3^D2/"));
  account.write("ORDERS.DIC", "AMOUNT", m("D^4^MD2"));
  account.write("ORDERS.DIC", "PDATE", m("A^3^^^^^D2/"));
  account.write("ORDERS.DIC", "ODD", m("D^3^ZZ"));
  account.write("ORDERS.DIC", "TWO", m("D^3^D2/]MCU"));
  account.write("ORDERS", "O1", m("ACME^30^19905^1250"));
  account.write("ORDERS", "O2", m("BETA^5^19907^999"));
  account.write("ORDERS", "O3", m("ACME]ZETA^12^20104^100000"));
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH DATE > \"07/01/22\"'"), "O2 O3 ");
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH AMOUNT < \"10.00\"'"), "O2 ");
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH PDATE = \"06/30/22\" OR DATE \"01/15/23\"'"), "O1 O3 ");
  EXPECT_EQ(ids("EXECUTE 'SSELECT ORDERS BY.DSND DATE'"), "O3 O2 O1 ");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS WITH DATE > \"someday\"'"),
            "2: EXECUTE: \"someday\" cannot be read with DATE's conversion D2/");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS WITH ODD = \"1\"'"),
            "2: EXECUTE: unknown conversion code \"ZZ\" in the dictionary item ODD");
  EXPECT_EQ(failure("EXECUTE 'SELECT ORDERS WITH TWO = \"1\"'"),
            "2: EXECUTE: the conversion of TWO has several codes, which is not available in WITH");
}

TEST_F(BasicQueries, DictionariesAndListsFromDynamicArrays) {
  EXPECT_EQ(run.c("OPEN 'DICT', 'ORDERS' TO D ELSE STOP\nREAD R FROM D, 'TOTAL' THEN C = R"), m("D^2"));
  EXPECT_EQ(run.c("OPEN 'DICT', 'MEMOS' TO D THEN C = 'open' ELSE C = 'none'"), "none");
  EXPECT_EQ(failure("OPEN 'DATA', 'ORDERS' TO D ELSE STOP"), "2: OPEN takes \"DICT\" or \"\" before the file name");
  EXPECT_EQ(
      run.c("FORMLIST 'a':@AM:'b':@AM:'c'\nREADNEXT X, V ELSE NULL\nREADLIST R ELSE NULL\nC = X : '|' : V : '|' : R"),
      m("a|0|b^c"));
  // A list that is not exploded has no value or subvalue position: 0 for both.
  EXPECT_EQ(run.c("V = 'x'; S = 'y'\nFORMLIST 'a'\nREADNEXT X, V, S THEN C = X : V : S"), "a00");
  EXPECT_EQ(run.c("V = 'x'\nREADNEXT X, V ELSE C = 'none' : V"), "nonex");  // no list: nothing is set
  EXPECT_EQ(failure("FORMLIST 'a'\nREADNEXT X, V, S, T ELSE NULL"),
            "3: syntax error: a statement cannot start with \",\"");
  EXPECT_EQ(run.c("FORMLIST 'a' TO L\nREADLIST R FROM L ELSE NULL\nREADLIST R FROM L ELSE C = 'empty'"), "empty");
  EXPECT_EQ(run.c("GETLIST 'SAVED' ELSE C = 'none'"), "none");
  account.createFile("&SAVEDLISTS&");
  account.write("&SAVEDLISTS&", "SAVED", m("O3^O1"));
  EXPECT_EQ(ids("GETLIST 'SAVED' ELSE STOP"), "O3 O1 ");
}

// A SELECT run while select list 0 has ids left selects from those ids.
TEST_F(BasicQueries, ASelectWhileAListIsActiveSelectsFromIt) {
  EXPECT_EQ(ids("EXECUTE 'SELECT ORDERS WITH TOTAL < \"20\"'\nEXECUTE 'SSELECT ORDERS WITH CUSTOMER = \"ACME\"'"),
            "O3 ");
  EXPECT_EQ(ids("FORMLIST 'O3':@AM:'O9':@AM:'O1'\nEXECUTE 'SELECT ORDERS'"), "O3 O1 ");  // its order, known ids
  EXPECT_EQ(ids("FORMLIST 'O3':@AM:'O1'\nEXECUTE 'SSELECT ORDERS'"), "O1 O3 ");
  EXPECT_EQ(ids("FORMLIST 'O3':@AM:'O2':@AM:'O1'\nEXECUTE 'SSELECT ORDERS BY TOTAL'"), "O2 O3 O1 ");
  EXPECT_EQ(ids("FORMLIST 'O3':@AM:'O2'\nREADNEXT X ELSE NULL\nEXECUTE 'SELECT ORDERS'"), "O2 ");  // the ids left
  EXPECT_EQ(ids("FORMLIST 'O2'\nREADNEXT X ELSE NULL\nEXECUTE 'SELECT ORDERS'"), "O1 O2 O3 ");     // none left
  EXPECT_EQ(run.c("FORMLIST 'O2'\nEXECUTE 'SELECT ORDERS' RTNLIST L\nREADNEXT X FROM L ELSE NULL\n"
                  "READNEXT Y ELSE Y = 'used up'\nC = X : ',' : Y"),
            "O2,used up");
  EXPECT_EQ(ids("OPEN 'ORDERS' TO F ELSE STOP\nFORMLIST 'O2'\nSELECT F"), "O1 O2 O3 ");  // the statement does not
}

TEST_F(BasicQueries, SelectedAndTheReturnCodeCountTheIds) {
  EXPECT_EQ(run.c("C = @SELECTED : @SYSTEM.RETURN.CODE : ','\nEXECUTE 'SELECT ORDERS'\nC := @SELECTED : "
                  "@SYSTEM.RETURN.CODE\nOPEN 'MEMOS' TO F ELSE STOP\nSELECT F\nC := ',' : @SELECTED : "
                  "@SYSTEM.RETURN.CODE"),
            "00,33,23");
  EXPECT_EQ(run.c("EXECUTE 'SELECT ORDERS WITH TOTAL > \"100\"'\nC = @SELECTED : @SYSTEM.RETURN.CODE"), "00");
}

TEST_F(BasicQueries, GetlistReadsWhatWritelistWrote) {
  EXPECT_EQ(failure("WRITELIST 'O1' ON 'MINE'"), "2: WRITELIST MINE: the account has no file &SAVEDLISTS&");
  account.createFile("&SAVEDLISTS&");
  run.c("EXECUTE 'SSELECT ORDERS BY.DSND TOTAL' RTNLIST L\nREADLIST IDS FROM L ELSE STOP\nWRITELIST IDS ON 'BIG'");
  EXPECT_EQ(account.read("&SAVEDLISTS&", "BIG"), m("O1^O3^O2"));
  EXPECT_EQ(ids("GETLIST 'BIG' ELSE STOP"), "O1 O3 O2 ");
  EXPECT_EQ(ids("WRITELIST 'O2':@AM:'O1' ON 'MINE'\nGETLIST 'MINE' ELSE STOP"), "O2 O1 ");  // seen in the same call
  EXPECT_EQ(failure("WRITELIST 'O3' ON 'GONE'\nABORT"), "3: ABORT");
  EXPECT_EQ(account.read("&SAVEDLISTS&", "GONE"), std::nullopt);  // a failed call writes no list
  EXPECT_EQ(failure("WRITELIST 'O3' ON ''"), "2: an item id cannot be empty");
  EXPECT_EQ(failure("SAVELIST 'X'"), "2: syntax error: SAVELIST is not available: WRITELIST ids ON name saves a list");
}

TEST_F(BasicFiles, SequentialFilesStayInsideTheAccountFolder) {
  auto text = [&](const std::string& name) { return desktop::readWholeFile(dir.path() / name); };
  EXPECT_EQ(run.c("OPENSEQ 'out.txt' TO F ELSE C = 'new'\nWRITESEQ 'a' ON F ELSE NULL\nWRITESEQ 'b' TO F ELSE "
                  "NULL\nCLOSESEQ F"),
            "new");
  EXPECT_EQ(text("out.txt"), "a\nb\n");
  EXPECT_EQ(run.c("OPENSEQ 'out.txt' TO F ELSE STOP\nLOOP\n READSEQ L FROM F ELSE EXIT\n C := L : ','\nREPEAT"),
            "a,b,");
  EXPECT_EQ(run.c("OPENSEQ 'out.txt' TO F ELSE STOP\nREADSEQ L FROM F ELSE STOP\nWEOFSEQ F\nC = L"),
            "a");  // saved at the end
  EXPECT_EQ(text("out.txt"), "a\n");
  run.c("OPENSEQ 'MEMOS', 'notes.txt' TO F ELSE NULL\nWRITESEQ 'n' ON F ELSE NULL");
  EXPECT_EQ(text("MEMOS/notes.txt"), "n\n");
  // A call that fails writes nothing.
  EXPECT_THROW(run.c("OPENSEQ 'failed.txt' TO F ELSE NULL\nWRITESEQ 'x' ON F ELSE NULL\nC = 1 / 0"), BasicError);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "failed.txt"));
  std::filesystem::create_directory_symlink("/tmp", dir.path() / "outside");
  for (const char* path : {"../x.txt", "/etc/passwd", "outside/x.txt", "MEMOS/../../x.txt", ""}) {
    try {
      run.c(std::string("OPENSEQ '") + path + "' TO F ELSE NULL");
      ADD_FAILURE() << path << " was opened";
    } catch (const BasicError& e) {
      EXPECT_EQ(e.cause(), std::string("OPENSEQ ") + path + ": only files inside the account folder can be opened");
    }
  }
  EXPECT_THROW(run.c("READSEQ L FROM F ELSE NULL"), BasicError);
}

TEST_F(BasicFiles, WritesAndDeletesReachTheDiskWhenTheSubroutineReturns) {
  run.c("OPEN 'MEMOS' TO F ELSE STOP\nWRITE 'new' : @VM : 'x' ON F, 'NEW*1'\nDELETE F, '2'\nWRITEV 'top' ON F, '1', 1");
  EXPECT_EQ(account.read("MEMOS", "NEW*1"), m("new]x"));
  EXPECT_EQ(account.read("MEMOS", "2"), std::nullopt);
  EXPECT_EQ(account.read("MEMOS", "1"), m("top^a]b"));
  // Within the call, its own changes are visible.
  EXPECT_EQ(run.c("OPEN 'MEMOS' TO F ELSE STOP\nWRITE 'v' ON F, 'K'\nREAD C FROM F, 'K' ELSE C = 'lost'"), "v");
}

TEST_F(BasicFiles, AFailingSubroutineChangesNothing) {
  EXPECT_THROW(run.c("OPEN 'MEMOS' TO F ELSE STOP\nWRITE 'half' ON F, '1'\nDELETE F, '2'\nX = 1 / 0"), BasicError);
  EXPECT_EQ(account.read("MEMOS", "1"), m("first^a]b"));
  EXPECT_EQ(account.read("MEMOS", "2"), "second");
}

TEST_F(BasicFiles, SelectListsTheItemsWithTheCallsOwnChanges) {
  std::string listAll = "OPEN 'MEMOS' TO F ELSE STOP\n";
  EXPECT_EQ(run.c(listAll + "SELECT F\nLOOP\n READNEXT ID ELSE EXIT\n C := ID : ','\nREPEAT"), "1,2,");
  EXPECT_EQ(run.c(listAll + "WRITE 'x' ON F, '3'\nDELETE F, '1'\nSELECT F TO L\nLOOP WHILE 1\n READNEXT ID FROM L ELSE "
                            "EXIT\n C := ID\nREPEAT"),
            "23");
  // The call before committed: 2 and 3 are left. List 0 stays empty.
  EXPECT_EQ(run.c(listAll + "SELECT F TO 2\nREADNEXT ID FROM 2 THEN C = ID\nREADNEXT ID ELSE C := '/empty'"),
            "2/empty");
  EXPECT_EQ(run.c(listAll + "SELECT F\nCLEARSELECT\nREADNEXT ID ELSE C = 'cleared'"), "cleared");
}

TEST_F(BasicFiles, StorageErrorsTakeOnErrorOrFailTheCall) {
  account.write("MEMOS", "3", "kept");
  EXPECT_EQ(run.c("OPEN 'MEMOS' TO F ELSE STOP\nWRITE 'x' ON F, STR('x', 300) ON ERROR C = 'too long'"), "too long");
  try {
    run.c("OPEN 'MEMOS' TO F ELSE STOP\nWRITE 'x' ON F, STR('x', 300)");
    FAIL();
  } catch (const BasicError& e) {
    EXPECT_EQ(e.line(), 3);
    EXPECT_NE(e.cause().find("too long"), std::string::npos);
  }
  EXPECT_THROW(run.c("READ R FROM NOTAFILE, '1' ELSE NULL"), BasicError);
  EXPECT_THROW(run.c("OPEN 'MEMOS' TO F ELSE STOP\nREAD R FROM F, '' ELSE NULL"), BasicError);
  Host noAccount;
  EXPECT_THROW(noAccount.c("OPEN 'MEMOS' TO F ELSE NULL"), BasicError);
}

TEST(BasicLocate, FindsOrGivesTheInsertPosition) {
  Host run;
  std::vector<std::string> args = {m("a]c]e^x"), "", ""};
  EXPECT_EQ(run.c("LOCATE 'c' IN A<1> SETTING P THEN C = P", args), "2");
  EXPECT_EQ(run.c("LOCATE 'z' IN A<1> SETTING P ELSE C = P", args), "4");
  EXPECT_EQ(run.c("LOCATE 'd' IN A<1> BY 'AL' SETTING P ELSE C = P", args), "3");
  EXPECT_EQ(run.c("LOCATE 'x' IN A SETTING P THEN C = P", args), "2");
  EXPECT_EQ(run.c("LOCATE 'q' IN A<5> SETTING P ELSE C = P", args), "1");
  EXPECT_EQ(run.c("LOCATE('e', A, 1; P) THEN C = P", args), "3");
  EXPECT_EQ(run.c("LOCATE('b', A, 1; P; 'AL') ELSE C = P", args), "2");
  // Right-justified orders compare numbers as numbers.
  std::vector<std::string> numbers = {m("2]10]30"), "", ""};
  EXPECT_EQ(run.c("LOCATE '9' IN A<1> BY 'AR' SETTING P ELSE C = P", numbers), "2");
  EXPECT_EQ(run.c("LOCATE '9' IN A<1> BY 'AL' SETTING P ELSE C = P", numbers), "4");
  EXPECT_EQ(run.c("LOCATE '5' IN A<1> BY 'DR' SETTING P ELSE C = P", {m("30]10]2"), "", ""}), "3");
}

TEST(BasicStatements, DelInsAndConversions) {
  Host run;
  EXPECT_EQ(run.c("C = A; DEL C<2>", {m("a^b^c"), "", ""}), m("a^c"));
  EXPECT_EQ(run.c("C = A; INS 'n' BEFORE C<1,2>", {m("a]b"), "", ""}), m("a]n]b"));
  EXPECT_EQ(run.c("C = OCONV(0, 'D4/') : ' ' : OCONV(12345, 'D2-') : ' ' : OCONV(1, 'D')"),
            "12/31/1967 10-18-01 01 JAN 1968");
  EXPECT_EQ(run.c("C = ICONV('12/31/1967', 'D') : ',' : ICONV('1 JAN 1968', 'D') : ',' : ICONV('-3/-4', 'D')"), "0,1,");
  EXPECT_EQ(run.c("C = OCONV(3723, 'MTS') : ' ' : OCONV(46800, 'MTH') : ' ' : ICONV('01:02:03', 'MTS')"),
            "01:02:03 01:00PM 3723");
  EXPECT_EQ(run.c("C = OCONV('', 'D') : OCONV('x', 'D')"), "x");
  EXPECT_EQ(run.c("C = ICONV(OCONV(20000, 'D4/'), 'D4/')"), "20000");
}

}  // namespace
}  // namespace pelorix::mv
