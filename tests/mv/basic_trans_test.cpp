#include <gtest/gtest.h>

#include "mv/basic_host.h"
#include "support/test_support.h"

namespace pelorix::mv {
namespace {

// CUSTOMERS with a dictionary: 7 has a multi-valued address, 8 no address.
struct BasicTrans : ::testing::Test {
  test::TempDir dir;
  Account account{dir.path()};
  Host run;
  BasicTrans() {
    account.createFile("CUSTOMERS");
    account.write("CUSTOMERS", "7", m("Ann Lee^12 High St]Flat 2^555"));
    account.write("CUSTOMERS", "8", m("Bob^^556"));
    account.createFile("CUSTOMERS.DIC");
    account.write("CUSTOMERS.DIC", "NAME", m("D^1"));
    account.write("CUSTOMERS.DIC", "ADDRESS", m("A^2"));
    account.write("CUSTOMERS.DIC", "LABEL", m("I^NAME:ADDRESS"));
    account.write("CUSTOMERS.DIC", "ODD", m("D^first"));
    run.account = &account;
  }
  std::string failure(const std::string& body) { return error(run, body); }
};

TEST_F(BasicTrans, GivesAFieldLoweredTheIdOrTheWholeItem) {
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7', 1, 'X')"), "Ann Lee");
  // Value marks of the field come back as subvalue marks.
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7', 2, 'X')"), m("12 High St\\Flat 2"));
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7', 0, 'X')"), "7");
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7', -1, 'X')"), m("Ann Lee]12 High St\\Flat 2]555"));
  EXPECT_EQ(run.c("F = 3\nC = TRANS('CUSTOMERS', 8, F, 'X')"), "556");
  EXPECT_EQ(run.c("C = XLATE('CUSTOMERS', '7', 3, 'X')"), "555");
  EXPECT_EQ(run.c("C = TRANS('DICT CUSTOMERS', 'NAME', 1, 'X')"), "D");
  EXPECT_EQ(run.c("C = TRANS(DICT 'CUSTOMERS', 'NAME', 2, 'X')"), "1");
  EXPECT_EQ(run.c("F = 'CUSTOMERS'\nC = XLATE(DICT F, 'ADDRESS', 1, 'X')"), "A");
}

TEST_F(BasicTrans, ControlCodesForAMissingItemOrAnEmptyField) {
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '99', 1, 'X')"), "");
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '99', 1, 'C')"), "99");
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '8', 2, 'X')"), "");
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '8', 2, 'C')"), "8");
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '8', 1, 'V')"), "Bob");
  EXPECT_EQ(failure("X = 1\nC = TRANS('CUSTOMERS', '99', 1, 'V')"), "3: TRANS: no item 99 in CUSTOMERS");
  EXPECT_EQ(failure("C = XLATE('CUSTOMERS', '8', 2, 'V')"), "2: XLATE: the item 8 of CUSTOMERS has nothing in field 2");
}

TEST_F(BasicTrans, IdsApartByValueMarksGiveOneValueEach) {
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7' : @VM : '8', 1, 'X')"), m("Ann Lee]Bob"));
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7' : @VM : '99' : @VM : '8', 1, 'X')"), m("Ann Lee]]Bob"));
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7' : @VM : '99' : @VM : '8', 1, 'C')"), m("Ann Lee]99]Bob"));
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '', 1, 'X')"), "");
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7' : @VM : '99', 1, 'V')"), "2: TRANS: no item 99 in CUSTOMERS");
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7' : @AM : '8', 1, 'X')"),
            "2: TRANS: ids apart by marks other than value marks are not available");
}

TEST_F(BasicTrans, AFieldNamedByTheDictionary) {
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7', 'NAME', 'X')"), "Ann Lee");
  EXPECT_EQ(run.c("C = TRANS('CUSTOMERS', '7', 'ADDRESS', 'X')"), m("12 High St\\Flat 2"));
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7', 'NOPE', 'X')"),
            "2: TRANS: no field NOPE in the dictionary of CUSTOMERS");
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7', 'LABEL', 'X')"),
            "2: TRANS: no field LABEL in the dictionary of CUSTOMERS (only D and A items name a field number)");
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7', 'ODD', 'X')"),
            "2: TRANS: the dictionary item ODD of CUSTOMERS has no field number");
  account.createFile("PLAIN");
  EXPECT_EQ(failure("C = TRANS('PLAIN', '7', 'NAME', 'X')"), "2: TRANS: no field NAME in the dictionary of PLAIN");
}

TEST_F(BasicTrans, SeesWhatTheCallItselfWrote) {
  EXPECT_EQ(run.c("OPEN 'CUSTOMERS' TO F ELSE STOP\nWRITE 'Cy' ON F, '9'\nDELETE F, '7'\n"
                  "C = TRANS('CUSTOMERS', '9', 1, 'X') : '|' : TRANS('CUSTOMERS', '7', 1, 'C')"),
            "Cy|7");
}

TEST_F(BasicTrans, RefusesAMissingFileABadFieldOrControlCode) {
  EXPECT_EQ(failure("C = 1\nC = TRANS('NOPE', '7', 1, 'X')"), "3: TRANS: no file NOPE");
  EXPECT_EQ(failure("C = TRANS('DICT PLAIN', '7', 1, 'X')"), "2: TRANS: no file DICT PLAIN");
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7', -2, 'X')"), "2: TRANS: field -2 is not a field number");
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7', 1.5, 'X')"), "2: TRANS: field 1.5 is not a field number");
  EXPECT_EQ(failure("C = 1\nC = TRANS('CUSTOMERS', '7', 1, 'N')"),
            "3: syntax error: TRANS: control code \"N\" is not one of X, V, C");
  EXPECT_EQ(failure("K = 'x'\nC = XLATE('CUSTOMERS', '7', 1, K)"),
            "3: XLATE: control code \"x\" is not one of X, V, C");
  EXPECT_EQ(failure("C = TRANS('CUSTOMERS', '7', 1)"), "2: syntax error: TRANS takes 4 arguments");
  EXPECT_EQ(failure("C = TRANS(DICT 'CUSTOMERS')"), "2: syntax error: expected \",\", found \")\"");
}

TEST_F(BasicTrans, TConversionTranslatesInOconvWithOattrAndIconvWithIattr) {
  EXPECT_EQ(run.c("C = OCONV('7', 'TCUSTOMERS;X;;1')"), "Ann Lee");
  EXPECT_EQ(run.c("C = ICONV('7', 'TCUSTOMERS;X;3;1')"), "555");
  // Without iattr or oattr the value is left as it is.
  EXPECT_EQ(run.c("C = ICONV('7', 'TCUSTOMERS;X;;1')"), "7");
  EXPECT_EQ(run.c("C = OCONV('7', 'TCUSTOMERS;X;3;')"), "7");
  // A multi-valued field: its marks become blanks unless a value is asked for.
  EXPECT_EQ(run.c("C = OCONV('7', 'TCUSTOMERS;X;;2')"), "12 High St Flat 2");
  EXPECT_EQ(run.c("C = OCONV('7', 'TCUSTOMERS;X2;;2')"), "Flat 2");
  EXPECT_EQ(run.c("C = OCONV('NAME', 'TDICT CUSTOMERS;X;;2')"), "1");
  EXPECT_EQ(run.c("OPEN 'CUSTOMERS' TO F ELSE STOP\nWRITE 'Cy' ON F, '9'\nC = OCONV('9', 'TCUSTOMERS;X;;1')"), "Cy");
  EXPECT_EQ(run.c("C = OCONVS('7' : @VM : '99' : @VM : '8', 'TCUSTOMERS;C;;1')"), m("Ann Lee]99]Bob"));
}

TEST_F(BasicTrans, TConversionControlCodes) {
  EXPECT_EQ(run.c("C = OCONV('99', 'TCUSTOMERS;X;;1')"), "");
  EXPECT_EQ(run.c("C = OCONV('99', 'TCUSTOMERS;C;;1')"), "99");
  EXPECT_EQ(failure("C = OCONV('99', 'TCUSTOMERS;V;;1')"), "2: OCONV TCUSTOMERS: no item 99 in CUSTOMERS");
  // I verifies on input only, O on output only; the other way they act as C.
  EXPECT_EQ(run.c("C = OCONV('99', 'TCUSTOMERS;I;;1')"), "99");
  EXPECT_EQ(failure("C = ICONV('99', 'TCUSTOMERS;I;1;')"), "2: ICONV TCUSTOMERS: no item 99 in CUSTOMERS");
  EXPECT_EQ(run.c("C = ICONV('99', 'TCUSTOMERS;O;1;')"), "99");
  EXPECT_EQ(failure("C = OCONV('99', 'TCUSTOMERS;O;;1')"), "2: OCONV TCUSTOMERS: no item 99 in CUSTOMERS");
}

TEST_F(BasicTrans, TConversionErrors) {
  EXPECT_EQ(failure("C = OCONV('7', 'TNOPE;X;;1')"), "2: OCONV TNOPE: no file NOPE");
  // Codes the host does not run are refused when the program compiles.
  EXPECT_EQ(failure("C = 1\nC = OCONV('7', 'TCUSTOMERS;Q;;1')"),
            "3: syntax error: unknown conversion code \"TCUSTOMERS;Q;;1\" in OCONV");
  EXPECT_EQ(failure("C = OCONV('7', 'TCUSTOMERS;X;;NAME')"),
            "2: syntax error: unknown conversion code \"TCUSTOMERS;X;;NAME\" in OCONV");
  EXPECT_EQ(failure("C = OCONV('7', 'TCUSTOMERS;X0;;2')"),
            "2: syntax error: unknown conversion code \"TCUSTOMERS;X0;;2\" in OCONV");
  EXPECT_EQ(failure("C = OCONV('7', 'tCUSTOMERS;x;;1')"),
            "2: syntax error: unknown conversion code \"tCUSTOMERS;x;;1\" in OCONV");
  EXPECT_EQ(failure("C = ICONV('7', 'TCUSTOMERS;X;1')"),
            "2: syntax error: unknown conversion code \"TCUSTOMERS;X;1\" in ICONV");
  EXPECT_EQ(failure("K = 'T;X;;1'\nC = OCONV('7', K)"), "3: unknown conversion code \"T;X;;1\" in OCONV");
}

TEST_F(BasicTrans, OconvAppliesCodesApartByValueMarksInTurn) {
  EXPECT_EQ(run.c("C = OCONV('hello world', 'MCU' : @VM : 'MCT')"), "Hello World");
  EXPECT_EQ(run.c("C = OCONV('hello world', 'MCT' : @VM : 'MCU')"), "HELLO WORLD");
  EXPECT_EQ(run.c("C = OCONV('7', 'TCUSTOMERS;X;;1' : @VM : 'MCU')"), "ANN LEE");
  EXPECT_EQ(run.c("C = OCONV(19906, 'D2/' : @VM : 'MCN')"), "070122");
  EXPECT_EQ(failure("C = OCONV('x', 'MCU' : @VM : 'ZZ')"), "2: unknown conversion code \"ZZ\" in OCONV");
  // UniVerse's order for ICONV is not one this host is sure of.
  EXPECT_EQ(failure("C = ICONV('1', 'MD2' : @VM : 'MCN')"),
            "2: ICONV with several conversion codes apart by value marks is not available");
}

TEST_F(BasicTrans, RollbackUndoesTheWritesSinceBeginTransaction) {
  std::string open = "OPEN 'CUSTOMERS' TO F ELSE STOP\n";
  EXPECT_EQ(run.c(open + "WRITE 'before' ON F, '10'\nBEGIN TRANSACTION\n WRITE 'inside' ON F, '11'\n"
                         " WRITE 'changed' ON F, '10'\n DELETE F, '7'\n ROLLBACK\nEND TRANSACTION\n"
                         "READ R FROM F, '10' THEN C = R\nREAD R FROM F, '11' THEN C := '|11' ELSE C := '|none'\n"
                         "C := '|' : TRANS('CUSTOMERS', '7', 1, 'X')"),
            "before|none|Ann Lee");
  EXPECT_EQ(account.read("CUSTOMERS", "10"), "before");
  EXPECT_FALSE(account.read("CUSTOMERS", "11"));
  EXPECT_EQ(account.read("CUSTOMERS", "7"), m("Ann Lee^12 High St]Flat 2^555"));
  // What a CALLed subroutine wrote inside the transaction is undone too.
  run.programs["PUT"] = "SUBROUTINE PUT\nOPEN 'CUSTOMERS' TO F ELSE STOP\nWRITE 'sub' ON F, '12'\nRETURN";
  EXPECT_EQ(run.c("BEGIN TRANSACTION\n CALL PUT\n C = TRANS('CUSTOMERS', '12', 1, 'X')\n ROLLBACK WORK THEN C := "
                  "'|rolled back'\nEND TRANSACTION\nC := '|' : TRANS('CUSTOMERS', '12', 1, 'X')"),
            "sub|rolled back|");
  EXPECT_FALSE(account.read("CUSTOMERS", "12"));
}

TEST_F(BasicTrans, CommitKeepsTheWritesAndGoesOnAfterEndTransaction) {
  EXPECT_EQ(run.c("OPEN 'CUSTOMERS' TO F ELSE STOP\nBEGIN TRANSACTION\n WRITE 'kept' ON F, '13'\n"
                  " IF 1 THEN\n  COMMIT WORK THEN C = 'committed' ELSE C = 'not'\n END\n C := '|skipped'\n"
                  "END TRANSACTION\nC := '|after'"),
            "committed|after");
  EXPECT_EQ(account.read("CUSTOMERS", "13"), "kept");
  // A ROLLBACK after a committed transaction leaves its writes alone.
  run.c(
      "OPEN 'CUSTOMERS' TO F ELSE STOP\nBEGIN TRANSACTION\n WRITE 'one' ON F, '14'\n COMMIT\nEND TRANSACTION\n"
      "BEGIN TRANSACTION\n WRITE 'two' ON F, '15'\n ROLLBACK\nEND TRANSACTION");
  EXPECT_EQ(account.read("CUSTOMERS", "14"), "one");
  EXPECT_FALSE(account.read("CUSTOMERS", "15"));
}

TEST_F(BasicTrans, ATransactionLeftOpenFailsTheCall) {
  std::string open = "OPEN 'CUSTOMERS' TO F ELSE STOP\n";
  EXPECT_EQ(failure(open + "BEGIN TRANSACTION\n WRITE 'x' ON F, '16'\nEND TRANSACTION"),
            "5: END TRANSACTION reached without COMMIT or ROLLBACK");
  EXPECT_EQ(failure(open + "BEGIN TRANSACTION\n WRITE 'x' ON F, '16'\n RETURN\n COMMIT\nEND TRANSACTION"),
            "3: the call ended inside BEGIN TRANSACTION, without COMMIT or ROLLBACK");
  EXPECT_EQ(failure(open + "BEGIN TRANSACTION\n WRITE 'x' ON F, '16'\n GOTO 10\n COMMIT\nEND TRANSACTION\n10 STOP"),
            "3: the call ended inside BEGIN TRANSACTION, without COMMIT or ROLLBACK");
  EXPECT_FALSE(account.read("CUSTOMERS", "16"));
  run.programs["INNER"] = "SUBROUTINE INNER\nBEGIN TRANSACTION\n COMMIT\nEND TRANSACTION\nRETURN";
  EXPECT_EQ(failure("BEGIN TRANSACTION\n CALL INNER\n COMMIT\nEND TRANSACTION"),
            "2: BEGIN TRANSACTION inside a transaction is not available");
}

TEST_F(BasicTrans, TransactionStatementsOutOfPlaceAreCompileErrors) {
  EXPECT_EQ(failure("C = 1\nCOMMIT"), "3: syntax error: COMMIT outside BEGIN TRANSACTION ... END TRANSACTION");
  EXPECT_EQ(failure("ROLLBACK WORK"), "2: syntax error: ROLLBACK outside BEGIN TRANSACTION ... END TRANSACTION");
  EXPECT_EQ(failure("BEGIN TRANSACTION\n BEGIN TRANSACTION\n COMMIT\n END TRANSACTION\nEND TRANSACTION"),
            "3: syntax error: BEGIN TRANSACTION inside a transaction is not available");
  EXPECT_EQ(failure("BEGIN TRANSACTION ISOLATION LEVEL 2\n COMMIT\nEND TRANSACTION"),
            "2: syntax error: BEGIN TRANSACTION ISOLATION LEVEL is not available");
  EXPECT_EQ(failure("BEGIN TRANSACTION\n COMMIT"), "3: syntax error: BEGIN TRANSACTION has no END TRANSACTION");
  EXPECT_EQ(failure("BEGIN WORK"), "2: syntax error: expected CASE or TRANSACTION after BEGIN");
}

}  // namespace
}  // namespace pelorix::mv
