// The printed texts of the summary at every level, of the node list and of the paths. Node
// identifiers are the nodes' addresses shifted right by 5, so the expected texts are built from
// the nodes themselves.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "add_oracle.h"

namespace {

class PrintTest : public AddTest {
protected:
    FILE *saved = nullptr;
    FILE *stream = nullptr;
    char *text = nullptr;
    size_t size = 0;

    void SetUp() override {
        AddTest::SetUp();
        saved = Tarn_ReadStdout(dd);
        stream = open_memstream(&text, &size);
        Tarn_SetStdout(dd, stream);
    }
    void TearDown() override {
        Tarn_SetStdout(dd, saved);
        fclose(stream);
        free(text);
        AddTest::TearDown();
    }

    // Everything printed since the last call.
    std::string printed() {
        fflush(stream);
        std::string s(text, size);
        rewind(stream);
        fflush(stream);
        size = 0;
        return s;
    }

    // "0x" and the identifier of the regular node of f.
    static std::string id(DdNode *f) {
        char buffer[32];
        snprintf(buffer, sizeof buffer, "0x%llx",
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(Tarn_Regular(f)) >> 5));
        return buffer;
    }

    DdNode *bddAnd01() {
        DdNode *f = Tarn_BddAnd(dd, Tarn_BddIthVar(dd, 0), Tarn_BddIthVar(dd, 1));
        Tarn_Ref(f);
        return hold(f);
    }
};

TEST_F(PrintTest, SummaryAtEveryLevel) {
    DdNode *f = bddAnd01();  // x0 AND x1: (0, x1, NOT one), x1 = (1, one, NOT one)
    DdNode *x1 = Tarn_Then(f);
    const std::string summary = ": 3 nodes 1 leaves 1 minterms\n";
    const std::string nodes = "ID =  " + id(f) + "\tindex = 0\tT = " + id(x1) + "\tE = !1        \n" +
                              "ID =  " + id(x1) + "\tindex = 1\tT = 1        \tE = !1        \n" +
                              "\n";
    const std::string paths = "11--  1\n\n";
    const struct {
        int level;
        std::string text;
    } cases[] = {
        {-1, ""},
        {0, ""},
        {1, summary},
        {2, summary + paths},
        {3, summary + nodes},
        {4, summary + nodes + paths},
        {7, summary + nodes + paths},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Tarn_PrintSummary(dd, f, 2, c.level), 1) << "level " << c.level;
        EXPECT_EQ(printed(), c.text) << "level " << c.level;
    }
}

TEST_F(PrintTest, ZeroNullAndUncountableDiagrams) {
    for (DdNode *z : {dd->zero, Tarn_Not(dd->one)}) {
        EXPECT_EQ(Tarn_PrintSummary(dd, z, 4, 0), 1);
        EXPECT_EQ(printed(), "");
        EXPECT_EQ(Tarn_PrintSummary(dd, z, 4, 1), 1);
        EXPECT_EQ(printed(), ": is the zero DD\n");
    }

    dd->errorCode = TARN_NO_ERROR;
    EXPECT_EQ(Tarn_PrintSummary(dd, nullptr, 4, 1), 0);
    EXPECT_EQ(printed(), ": is the NULL DD\n");
    EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_INVALID_ARGUMENT);

    EXPECT_EQ(Tarn_PrintSummary(dd, bddAnd01(), 3000, 1), 0);
    EXPECT_EQ(printed(), ": 3 nodes 1 leaves unknown minterms\n");
}

TEST_F(PrintTest, NodeListAndPathsOfAnAdd) {
    // x0 ? (x2 ? -3 : 2) : 0.5
    DdNode *f = make({0.5, 2, 0.5, 2, 0.5, -3, 0.5, -3, 0.5, 2, 0.5, 2, 0.5, -3, 0.5, -3});
    DdNode *g = Tarn_Then(f);
    EXPECT_EQ(Tarn_PrintSummary(dd, f, 4, 4), 1);
    EXPECT_EQ(printed(), ": 5 nodes 3 leaves 16 minterms\n"
                         "ID =  " + id(f) + "\tindex = 0\tT = " + id(g) + "\tE =  0.5      \n" +
                         "ID =  " + id(g) + "\tindex = 2\tT = -3       \tE =  2        \n" +
                         "\n"
                         "0---  0.5\n"
                         "1-0-  2\n"
                         "1-1- -3\n"
                         "\n");

    // a constant root: one line, every variable absent
    EXPECT_EQ(Tarn_PrintSummary(dd, constant(4.0), 4, 2), 1);
    EXPECT_EQ(printed(), ": 1 nodes 1 leaves 16 minterms\n----  4\n\n");
    EXPECT_EQ(tarnPrintNodeList(dd, constant(4.0)), 1);
    EXPECT_EQ(printed(), "ID =  " + id(constant(4.0)) + "\tvalue = 4        \n\n");
}

// The node list shows the complement marks of the root and of else-edges, and prints a shared
// node once.
TEST_F(PrintTest, NodeListMarksComplementsAndPrintsSharedNodesOnce) {
    // f = x0 ? x3 : NOT x3; the node of x3 is reached on both sides
    DdNode *x3 = Tarn_BddIthVar(dd, 3);
    DdNode *f = Tarn_BddXnor(dd, Tarn_BddIthVar(dd, 0), x3);
    Tarn_Ref(f);
    hold(f);
    EXPECT_EQ(tarnPrintNodeList(dd, Tarn_Not(f)), 1);
    const std::string n = Tarn_IsComplement(f) ? " " : "!";
    const std::string e = Tarn_IsComplement(Tarn_Else(f)) ? "!" : " ";
    EXPECT_EQ(printed(), "ID = " + n + id(f) + "\tindex = 0\tT = " + id(x3) + "\tE = " + e +
                             id(x3) + "\n" + "ID =  " + id(x3) +
                             "\tindex = 3\tT = 1        \tE = !1        \n" + "\n");
}

}  // namespace
