// The ADD apply and its operators: the terminal rules with their infinity and NaN conventions,
// random ADDs checked leaf by leaf against a model of each operator, the operator parameters as
// part of the computed-table key, and the failure of the constants table inside an operator.
#include <cmath>
#include <cstdio>

#include "add_oracle.h"

using addoracle::kInf;
using addoracle::kNaN;
using addoracle::Table;

namespace {

using namespace addoracle::model;

struct Operator {
    const char *name;
    DD_AOP op;
    addoracle::Model model;
    bool zeroOne;  // a logical operator: random operands get 0/1 leaves
};

const Operator kOperators[] = {
    {"plus", Tarn_AddPlus, plus, false},
    {"times", Tarn_AddTimes, times, false},
    {"minus", Tarn_AddMinus, minus, false},
    {"divide", Tarn_AddDivide, divide, false},
    {"maximum", Tarn_AddMaximum, maximum, false},
    {"minimum", Tarn_AddMinimum, minimum, false},
    {"or", Tarn_AddOr, logicOr, true},
    {"nand", Tarn_AddNand, nand, true},
    {"nor", Tarn_AddNor, nor, true},
    {"xor", Tarn_AddXor, logicXor, true},
    {"xnor", Tarn_AddXnor, xnor, true},
    {"greater than", Tarn_AddGreaterThan, greaterThan, false},
    {"energy minus", Tarn_AddEnergyMinus, energyMinus, false},
    {"energy plus", Tarn_AddEnergyPlus, energyPlus, false},
};

// Restores the process-wide parameters that a test changed.
class AddApplyTest : public AddTest {
protected:
    void TearDown() override {
        ENERGY_CAP(0.0, true, false);
        MINIMIZE_VALUE(0.0, true);
        AddTest::TearDown();
    }

    double applyToConstants(DD_AOP op, double a, double b) {
        DdNode *r = Tarn_AddApply(dd, op, constant(a), constant(b));
        EXPECT_NE(r, nullptr);
        return r == nullptr ? kNaN : r->value;
    }
};

Table pointwise(const Table &f, const Table &g, addoracle::Model model) {
    Table r{};
    for (unsigned a = 0; a < addoracle::kAssignments; a++) r[a] = model(f[a], g[a]);
    return r;
}

}  // namespace

TEST_F(AddApplyTest, OperatorsFollowTheirTerminalRulesOnConstants) {
    struct Case {
        const char *name;
        DD_AOP op;
        double f, g, expected;
    };
    const Case cases[] = {
        {"inf + -inf", Tarn_AddPlus, kInf, -kInf, 0.0},
        {"inf + 5", Tarn_AddPlus, kInf, 5.0, kInf},
        {"1e200 + 1e200", Tarn_AddPlus, 1e200, 1e200, kInf},
        {"6e150 + 6e150 overflows", Tarn_AddPlus, 6e150, 6e150, kInf},
        {"-6e150 + -6e150", Tarn_AddPlus, -6e150, -6e150, -kInf},
        {"inf * 0", Tarn_AddTimes, kInf, 0.0, 0.0},
        {"NaN * 0", Tarn_AddTimes, kNaN, 0.0, 0.0},
        {"inf * -2", Tarn_AddTimes, kInf, -2.0, -kInf},
        {"1e100 * 1e100", Tarn_AddTimes, 1e100, 1e100, kInf},
        {"inf - inf", Tarn_AddMinus, kInf, kInf, 0.0},
        {"0 - 7", Tarn_AddMinus, 0.0, 7.0, -7.0},
        {"0 - inf", Tarn_AddMinus, 0.0, kInf, -kInf},
        {"2 - 7", Tarn_AddMinus, 2.0, 7.0, -5.0},
        {"0 / 0", Tarn_AddDivide, 0.0, 0.0, 0.0},
        {"1 / 0", Tarn_AddDivide, 1.0, 0.0, kInf},
        {"-1 / 0", Tarn_AddDivide, -1.0, 0.0, -kInf},
        {"7 / 2", Tarn_AddDivide, 7.0, 2.0, 3.5},
        {"max(NaN, 3)", Tarn_AddMaximum, kNaN, 3.0, 3.0},
        {"max(3, NaN)", Tarn_AddMaximum, 3.0, kNaN, kNaN},
        {"max(-inf, NaN)", Tarn_AddMaximum, -kInf, kNaN, kNaN},
        {"max(5, 2)", Tarn_AddMaximum, 5.0, 2.0, 5.0},
        {"min(NaN, 3)", Tarn_AddMinimum, kNaN, 3.0, 3.0},
        {"min(inf, NaN)", Tarn_AddMinimum, kInf, kNaN, kNaN},
        {"min(5, 2)", Tarn_AddMinimum, 5.0, 2.0, 2.0},
        {"or(2, 3)", Tarn_AddOr, 2.0, 3.0, 3.0},
        {"or(5, 1)", Tarn_AddOr, 5.0, 1.0, 1.0},
        {"nand(2, 3)", Tarn_AddNand, 2.0, 3.0, 0.0},
        {"nand(5, 0)", Tarn_AddNand, 5.0, 0.0, 1.0},
        {"nor(2, 3)", Tarn_AddNor, 2.0, 3.0, 1.0},
        {"xor(2, 3)", Tarn_AddXor, 2.0, 3.0, 0.0},
        {"xor(0, 1)", Tarn_AddXor, 0.0, 1.0, 1.0},
        {"xnor(2, 2)", Tarn_AddXnor, 2.0, 2.0, 1.0},
        {"xnor(2, 3)", Tarn_AddXnor, 2.0, 3.0, 0.0},
        {"5 > 3", Tarn_AddGreaterThan, 5.0, 3.0, 1.0},
        {"NaN > 3", Tarn_AddGreaterThan, kNaN, 3.0, 0.0},
        {"inf > inf", Tarn_AddGreaterThan, kInf, kInf, 0.0},
        {"inf +e -inf", Tarn_AddEnergyPlus, kInf, -kInf, 0.0},
        {"-inf +e inf", Tarn_AddEnergyPlus, -kInf, kInf, 0.0},
        {"-inf +e 5", Tarn_AddEnergyPlus, -kInf, 5.0, -kInf},
        {"5 +e -inf", Tarn_AddEnergyPlus, 5.0, -kInf, -kInf},
        {"inf +e 5", Tarn_AddEnergyPlus, kInf, 5.0, kInf},
        {"3 +e 4", Tarn_AddEnergyPlus, 3.0, 4.0, 7.0},
    };
    for (const Case &c : cases) {
        EXPECT_TRUE(addoracle::same(applyToConstants(c.op, c.f, c.g), c.expected)) << c.name;
    }
}

TEST_F(AddApplyTest, EnergySubtractionHonoursTheCap) {
    struct Case {
        double cap;
        bool enabled;
        double f, g, expected;
    };
    const Case cases[] = {
        {10, true, 20, 5, kInf},   {10, true, 12, 5, 7},      {10, true, 3, 5, 0},
        {10, true, 5, kInf, 0},    {10, true, 5, -kInf, kInf}, {10, true, kInf, 5, kInf},
        {10, true, -kInf, 5, 0},   {10, true, kNaN, 5, 0},    {0, true, 6, 5, kInf},
        {0, true, 5, 6, 0},        {-1, true, 20, 5, 15},     {10, false, 20, 5, 15},
    };
    for (const Case &c : cases) {
        ENERGY_CAP(c.cap, true, c.enabled);
        EXPECT_TRUE(
            addoracle::same(applyToConstants(Tarn_AddEnergyMinus, c.f, c.g), c.expected))
            << "cap " << c.cap << (c.enabled ? "" : " (disabled)") << ": " << c.f << " - " << c.g;
    }
}

TEST_F(AddApplyTest, RandomAddsMatchTheOperatorModelAtEveryAssignment) {
    addoracle::Generator gen(7, addoracle::fullPool());
    ENERGY_CAP(4.0, true, true);
    for (const Operator &o : kOperators) {
        for (int round = 0; round < 30; round++) {
            const Table f = o.zeroOne ? gen.zeroOne() : gen.table();
            const Table g = o.zeroOne ? gen.zeroOne() : gen.table();
            SCOPED_TRACE(testing::Message() << o.name << ", round " << round);
            expectLeaves(Tarn_AddApply(dd, o.op, make(f), make(g)), pointwise(f, g, o.model));
        }
    }
}

TEST_F(AddApplyTest, TerminalOperandsReturnExistingNodes) {
    DdNode *f = make({1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddPlus, f, dd->zero), f);
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddMinus, f, f), dd->zero);
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddMaximum, f, dd->minusInfinity), f);
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddMinimum, f, dd->plusInfinity), f);
    const double misses = dd->cacheMisses;
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddTimes, f, dd->zero), dd->zero);
    EXPECT_EQ(dd->cacheMisses, misses) << "a terminal pair costs no table probe";
}

// Results computed under one cap (or minimization value) must not be found under another.
TEST_F(AddApplyTest, OperatorParametersArePartOfTheComputedTableKey) {
    const Table f = {20, 12, 3, 20, 12, 3, 20, 12, 20, 12, 3, 20, 12, 3, 9, 0};
    const Table g = {5, 5, 5, 1, 1, 1, 5, 5, 5, 5, 5, 1, 1, 1, 5, 5};
    DdNode *F = make(f);
    DdNode *G = make(g);
    struct Setting {
        double cap;
        bool enabled;
    };
    for (Setting s : {Setting{10, true}, Setting{0, false}, Setting{10, true}, Setting{15, true},
                      Setting{-1, true}, Setting{0, true}, Setting{4, true},
                      Setting{4 - 1e-13, true}, Setting{4, true}}) {
        ENERGY_CAP(s.cap, true, s.enabled);
        SCOPED_TRACE(testing::Message() << "cap " << s.cap << (s.enabled ? "" : " (disabled)"));
        expectLeaves(Tarn_AddApply(dd, Tarn_AddEnergyMinus, F, G), pointwise(f, g, energyMinus));
    }
    // Values within the constants' tolerance of another share its node: still each gets its own
    // results (3 + 1e-13 replaces no leaf, 5e-13 no zero leaf).
    for (double v : {3.0, 12.0, 20.0, 3.0, 3.0 + 1e-13, 3.0, 5e-13, 0.0, 5e-13}) {
        MINIMIZE_VALUE(v, true);
        Table expected = f;
        for (double &leaf : expected) leaf = leaf == v ? -kInf : leaf;
        SCOPED_TRACE(testing::Message() << "minimize " << v);
        expectLeaves(Tarn_AddMonadicApply(dd, Tarn_AddMinimizeValue, F), expected);
    }
}

TEST_F(AddApplyTest, MonadicOperatorsMapEveryLeaf) {
    const Table f = {1, 0, kInf, -1, std::exp(1.0), 3, kNaN, -kInf,
                     1, 0, kInf, -1, std::exp(1.0), 3, kNaN, -kInf};
    Table log = f;
    for (double &v : log) v = v == kInf ? kInf : addoracle::canonical(std::log(v));
    expectLeaves(Tarn_AddMonadicApply(dd, Tarn_AddLog, make(f)), log);
    EXPECT_EQ(Tarn_AddMonadicApply(dd, Tarn_AddLog, dd->one), dd->zero);
    EXPECT_EQ(Tarn_AddMonadicApply(dd, Tarn_AddLog, dd->zero), dd->minusInfinity);
    EXPECT_EQ(Tarn_AddMonadicApply(dd, Tarn_AddLog, dd->plusInfinity), dd->plusInfinity);

    MINIMIZE_VALUE(3.0, true);
    Table minimized = f;
    for (double &v : minimized) v = v == 3.0 ? -kInf : v;
    expectLeaves(Tarn_AddMonadicApply(dd, Tarn_AddMinimizeValue, make(f)), minimized);
    MINIMIZE_VALUE(kNaN, true);
    EXPECT_EQ(Tarn_AddMonadicApply(dd, Tarn_AddMinimizeValue, make(f)), make(f))
        << "no leaf equals NaN";
}

// When the constants table cannot make a result leaf, the apply yields no result and the error
// code tells why, for constant and non-constant operands alike.
TEST_F(AddApplyTest, FailingConstantsTableYieldsNoResult) {
    DdNode *a = make({100.25, 2, 100.25, 2, 100.25, 2, 100.25, 2, 3, 3, 3, 3, 3, 3, 3, 3});
    DdNode *b = make({1000.125, 1000.125, 4, 4, 1000.125, 1000.125, 4, 4, 1000.125, 1000.125, 4,
                      4, 1000.125, 1000.125, 4, 4});
    DdNode *c = constant(-7.5);
    // Use up the free node list and forbid new live nodes: the next new node cannot be made.
    for (int i = 0; dd->freeList != nullptr; i++) constant(1e6 + i);
    Tarn_SetMaxLive(dd, 0);

    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddPlus, a, b), nullptr);
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddPlus, constant(1.0), c), nullptr);
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddMinus, dd->zero, a), nullptr);
    EXPECT_EQ(Tarn_AddMonadicApply(dd, Tarn_AddLog, b), nullptr);
    ENERGY_CAP(12.5, true, true);  // the cap's own node cannot be made either
    EXPECT_EQ(Tarn_AddApply(dd, Tarn_AddEnergyMinus, a, b), nullptr);
    EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_TOO_MANY_NODES);
}

TEST_F(AddApplyTest, ParametersKeepTheirLastSetting) {
    EXPECT_EQ(ENERGY_CAP(7.0, true, true), 7.0);
    EXPECT_EQ(ENERGY_CAP(0.0, false, false), 7.0);
    EXPECT_EQ(ENERGY_CAP(3.0, true, false), -1.0);
    EXPECT_EQ(MINIMIZE_VALUE(2.5, true), 2.5);
    EXPECT_EQ(MINIMIZE_VALUE(0.0, false), 2.5);
}

TEST(AddOperators, AddressesLeaveTheTagBitsFree) {
    for (const Operator &o : kOperators) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(o.op) & 15, 0u) << o.name;
    }
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&Tarn_AddLog) & 15, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&Tarn_AddMinimizeValue) & 15, 0u);
}
