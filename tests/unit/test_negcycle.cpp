// The min-plus product against a leaf oracle, and the negative-cycle check: its answers, its
// bound of 4^n relaxations with one trace line per relaxation, its fresh variables and its
// references.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "add_oracle.h"

using addoracle::kInf;
using addoracle::Table;

namespace {

// Collects what is written to the process's standard output while the object lives.
class StdoutCapture {
public:
    StdoutCapture() {
        fflush(stdout);
        file_ = tmpfile();
        saved_ = dup(fileno(stdout));
        dup2(fileno(file_), fileno(stdout));
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    std::string text() {
        restore();
        std::string s;
        rewind(file_);
        for (int c; (c = fgetc(file_)) != EOF;) s.push_back(static_cast<char>(c));
        return s;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        fflush(stdout);
        dup2(saved_, fileno(stdout));
        close(saved_);
        saved_ = -1;
    }
    FILE *file_;
    int saved_;
};

size_t countOf(const std::string &text, const std::string &line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) n++;
    return n;
}

// min over the assignments of the variables in vars of f + g, where plus infinity absorbs.
Table minPlusModel(const Table &f, const Table &g, unsigned vars) {
    Table r{};
    for (unsigned a = 0; a < addoracle::kAssignments; a++) {
        double best = kInf;
        for (unsigned b = 0; b < addoracle::kAssignments; b++) {
            if ((b & ~vars) != (a & ~vars)) continue;
            const double sum = f[b] == kInf || g[b] == kInf ? kInf : addoracle::canonical(f[b] + g[b]);
            best = addoracle::model::minimum(best, sum);
        }
        r[a] = best;
    }
    return r;
}

class NegCycleTest : public AddTest {
protected:
    // A pairing array with one ADD projection function per variable, held by the test; the
    // primed variable j is paired with partner[j].
    std::vector<DdNode *> pairing(const std::vector<std::pair<int, int>> &partners) {
        std::vector<DdNode *> p;
        for (int j = 0; j < Tarn_ReadSize(dd); j++) p.push_back(addVar(j));
        for (auto [primed, unprimed] : partners) p[primed] = addVar(unprimed);
        return p;
    }
    // The ADD cube of the variables whose bits are set.
    DdNode *cube(unsigned vars) {
        Table t{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) t[a] = (a & vars) == vars;
        return make(t);
    }
    // A table from a weight per (x, x') over one unprimed bit x (variable 0) and one primed bit x'
    // (variable 1): w[x][x'].
    Table weights(const double (&w)[2][2]) {
        Table t{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) t[a] = w[a & 1][a >> 1 & 1];
        return t;
    }
};

}  // namespace

TEST_F(NegCycleTest, MinPlusProductMatchesTheOracle) {
    addoracle::Generator gen(7, {0.0, 1.0, 2.0, -3.0, 0.5, kInf, -kInf});
    for (int round = 0; round < 40; round++) {
        const Table f = gen.table();
        const Table g = gen.table();
        const unsigned vars = gen.below(16);
        std::vector<DdNode *> vs;
        for (int i = 0; i < addoracle::kVars; i++) {
            if (vars >> i & 1) vs.push_back(addVar(i));
        }
        SCOPED_TRACE("round " + std::to_string(round) + ", variables " + std::to_string(vars));
        expectLeaves(Tarn_AddMinPlusAbstract(dd, make(f), make(g), vs.data(),
                                             static_cast<int>(vs.size())),
                     minPlusModel(f, g, vars));
    }
}

TEST_F(NegCycleTest, NonNegativeWeightsSettleWithTheFullTrace) {
    // x = 0 reaches 0 at 1 and 1 at 2; x = 1 reaches 0 at 0 and nothing else
    DdNode *T = make(weights({{1, 2}, {0, kInf}}));
    DdNode *curS = make(weights({{0, kInf}, {0, kInf}}));
    std::vector<DdNode *> p = pairing({{1, 0}});
    const unsigned before = Tarn_ReadNodeCount(dd);
    StdoutCapture out;
    EXPECT_EQ(Tarn_NegCycleCheck(dd, T, curS, cube(0b0010), p.data()), 0);
    EXPECT_EQ(out.text(),
              "i == 0\ni == 1\na primed variable found...i == 1\nunprimed index 0 , i == 1 \n"
              "i == 2\ni == 3\ngoing to swap vars...\nswap vars finished\nn == 1\nV = 4\n"
              "curS:\ni == 0, curS:\ni == 1, curS:\nneg cycle not found\n");
    EXPECT_EQ(Tarn_ReadSize(dd), 5) << "one fresh variable per primed variable stays";
    EXPECT_EQ(Tarn_ReadNodeCount(dd), before) << "the check keeps no references";
}

TEST_F(NegCycleTest, ASelfLoopOfMinusOneRunsPastTheBound) {
    // n primed variables: the state 0 loops to itself with weight -1, nothing else moves
    struct Case {
        unsigned primed;  // variables of x'
        unsigned state;   // variables of x and x'
        std::vector<std::pair<int, int>> partners;
        int relaxations;  // V + 1
    };
    const Case cases[] = {{0b0010, 0b0011, {{1, 0}}, 5}, {0b1100, 0b1111, {{2, 0}, {3, 1}}, 17}};
    for (const Case &c : cases) {
        Table t{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) t[a] = (a & c.state) == 0 ? -1 : kInf;
        DdNode *T = make(t);
        std::vector<DdNode *> p = pairing(c.partners);
        const int size = Tarn_ReadSize(dd);
        StdoutCapture out;
        EXPECT_EQ(Tarn_NegCycleCheck(dd, T, dd->zero, cube(c.primed), p.data()), 1);
        const std::string text = out.text();
        for (int i = 0; i < c.relaxations; i++) {
            EXPECT_EQ(countOf(text, "i == " + std::to_string(i) + ", curS:\n"), 1u) << i;
        }
        EXPECT_EQ(countOf(text, ", curS:\n"), static_cast<size_t>(c.relaxations));
        EXPECT_EQ(countOf(text, "neg cycle not found"), 0u);
        EXPECT_EQ(Tarn_ReadSize(dd), size + static_cast<int>(c.partners.size()));
    }
}

TEST_F(NegCycleTest, WithoutPrimedVariablesOneRelaxationDecides) {
    // n = 0 gives V = 1: curS against min(curS, curS + T)
    DdNode *curS = make(weights({{0, 5}, {3, kInf}}));
    std::vector<DdNode *> p = pairing({});
    const struct {
        double weight;
        int result;
    } cases[] = {{0.0, 0}, {2.0, 0}, {-1.0, 1}};
    for (auto c : cases) {
        StdoutCapture out;
        EXPECT_EQ(Tarn_NegCycleCheck(dd, constant(c.weight), curS, dd->one, p.data()), c.result)
            << c.weight;
        const std::string text = out.text();
        EXPECT_EQ(countOf(text, "n == 0\nV = 1\n"), 1u);
        EXPECT_EQ(countOf(text, ", curS:\n"), c.result == 1 ? 2u : 1u);
    }
    EXPECT_EQ(Tarn_ReadSize(dd), 4) << "no primed variable, no fresh variable";
}

TEST_F(NegCycleTest, TwoChecksLeaveTwoFreshVariablesPerPrimedOne) {
    DdNode *T = make(weights({{1, 1}, {1, 1}}));
    std::vector<DdNode *> p = pairing({{2, 0}, {3, 1}});
    StdoutCapture out;
    EXPECT_EQ(Tarn_NegCycleCheck(dd, T, dd->zero, cube(0b1100), p.data()), 0);
    p.push_back(addVar(4));
    p.push_back(addVar(5));
    EXPECT_EQ(Tarn_NegCycleCheck(dd, T, dd->zero, cube(0b1100), p.data()), 0);
    EXPECT_EQ(Tarn_ReadSize(dd), 8);
    EXPECT_EQ(countOf(out.text(), "neg cycle not found\n"), 2u);
}

TEST_F(NegCycleTest, AConstantPairingEntryEndsTheCheckWithoutResult) {
    std::vector<DdNode *> p = pairing({});
    p[1] = dd->one;
    DdNode *T = constant(-1);
    DdNode *primeCube = cube(0b0010);
    const unsigned before = Tarn_ReadNodeCount(dd);
    StdoutCapture out;
    EXPECT_EQ(Tarn_NegCycleCheck(dd, T, dd->zero, primeCube, p.data()), -1);
    EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_INVALID_ARGUMENT);
    EXPECT_EQ(countOf(out.text(), "going to swap vars"), 0u);
    EXPECT_EQ(Tarn_ReadNodeCount(dd), before);
}

TEST_F(NegCycleTest, ThirtyTwoPrimedVariablesDoNotCutTheRelaxationShort) {
    // x is the variables 0 to 31, x' the variables 32 to 63; every transition costs 1 and only
    // the state 0 starts with a value, so the values need two relaxations to settle
    constexpr int n = 32;
    std::vector<std::pair<int, int>> partners;
    DdNode *primedZero = one();
    Tarn_Ref(primedZero);
    DdNode *primeCube = one();
    Tarn_Ref(primeCube);
    for (int j = n; j < 2 * n; j++) {
        partners.push_back({j, j - n});
        DdNode *a = Tarn_BddAnd(dd, primedZero, tarnNot(var(j)));
        Tarn_Ref(a);
        Tarn_RecursiveDeref(dd, primedZero);
        primedZero = a;
        DdNode *c = Tarn_BddAnd(dd, primeCube, var(j));
        Tarn_Ref(c);
        Tarn_RecursiveDeref(dd, primeCube);
        primeCube = c;
    }
    hold(primedZero);
    hold(primeCube);
    DdNode *atZero = hold(Tarn_BddToAdd(dd, primedZero));
    Tarn_Ref(atZero);
    DdNode *curS = hold(Tarn_AddIte(dd, atZero, dd->zero, dd->plusInfinity));
    Tarn_Ref(curS);
    std::vector<DdNode *> p = pairing(partners);
    StdoutCapture out;
    EXPECT_EQ(Tarn_NegCycleCheck(dd, constant(1), curS, primeCube, p.data()), 0);
    const std::string text = out.text();
    EXPECT_EQ(countOf(text, "V = 18446744073709551615\n"), 1u);
    EXPECT_EQ(countOf(text, ", curS:\n"), 2u);
    EXPECT_EQ(countOf(text, "neg cycle not found\n"), 1u);
}
