// ADD abstraction by sum, maximum, minimum, disjunction and product, and the refusal of anything
// but an ADD cube.
#include <cstdio>
#include <string>

#include "add_oracle.h"

using addoracle::kInf;
using addoracle::Table;

namespace {

using Abstraction = DdNode *(*)(DdManager *, DdNode *, DdNode *);

struct Kind {
    const char *name;
    Abstraction abstract;
    addoracle::Model combine;
    bool zeroOne;         // the disjunction is meant for 0/1 ADDs
    const char *refusal;  // the message for a non-cube
};

const Kind kKinds[] = {
    {"sum", Tarn_AddExistAbstract, addoracle::model::plus, false,
     "Error: Can only abstract cubes"},
    {"maximum", Tarn_AddMaxAbstract, addoracle::model::maximum, false,
     "Error:  Can only abstract cubes"},
    {"minimum", Tarn_AddMinAbstract, addoracle::model::minimum, false,
     "Error:  Can only abstract cubes"},
    {"disjunction", Tarn_AddOrAbstract, addoracle::model::logicOr, true,
     "Error: Can only abstract cubes"},
    {"product", Tarn_AddUnivAbstract, addoracle::model::times, false,
     "Error:  Can only abstract cubes"},
};

// The abstraction of the cube variables (bits of vars) from a table: the variable with the
// smallest level first, combining the then-side with the else-side as the recursion does.
Table abstractModel(const Table &t, unsigned vars, addoracle::Model combine) {
    for (int i = 0; i < addoracle::kVars; i++) {
        if ((vars >> i & 1) == 0) continue;
        const unsigned rest = vars & ~(1u << i);
        const Table hi = abstractModel(addoracle::cofactor(t, i, true), rest, combine);
        const Table lo = abstractModel(addoracle::cofactor(t, i, false), rest, combine);
        Table r{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) r[a] = combine(hi[a], lo[a]);
        return r;
    }
    return t;
}

class AddAbstractTest : public AddTest {
protected:
    // The ADD cube of the variables whose bits are set, built on the unique table.
    DdNode *cube(unsigned vars) {
        Table t{};
        for (unsigned a = 0; a < addoracle::kAssignments; a++) t[a] = (a & vars) == vars;
        return make(t);
    }
};

}  // namespace

TEST_F(AddAbstractTest, ConstantsOverCubes) {
    EXPECT_EQ(Tarn_AddExistAbstract(dd, constant(3), cube(0b0110)), constant(12));
    EXPECT_EQ(Tarn_AddUnivAbstract(dd, constant(3), cube(0b0001)), constant(9));
    EXPECT_EQ(Tarn_AddMaxAbstract(dd, constant(3), cube(0b0101)), constant(3));
    EXPECT_EQ(Tarn_AddMinAbstract(dd, constant(3), cube(0b0101)), constant(3));
    EXPECT_EQ(Tarn_AddExistAbstract(dd, dd->zero, cube(0b1111)), dd->zero);
    // x over x is 0 + 1; x over y is the doubled projection
    DdNode *x = addVar(1);
    EXPECT_EQ(Tarn_AddExistAbstract(dd, x, cube(0b0010)), dd->one);
    expectLeaves(Tarn_AddExistAbstract(dd, x, cube(0b0001)),
                 {0, 0, 2, 2, 0, 0, 2, 2, 0, 0, 2, 2, 0, 0, 2, 2});
    // 5 where x holds, 2 elsewhere
    DdNode *f = make({2, 2, 5, 5, 2, 2, 5, 5, 2, 2, 5, 5, 2, 2, 5, 5});
    EXPECT_EQ(Tarn_AddMaxAbstract(dd, f, cube(0b0010)), constant(5));
    EXPECT_EQ(Tarn_AddMinAbstract(dd, f, cube(0b0010)), constant(2));
}

TEST_F(AddAbstractTest, CubeOneReturnsTheOperand) {
    DdNode *f = make({1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0});
    for (const Kind &k : kKinds) EXPECT_EQ(k.abstract(dd, f, dd->one), f) << k.name;
}

TEST_F(AddAbstractTest, RandomAddsMatchTheModelAtEveryAssignment) {
    addoracle::Generator gen(21, addoracle::fullPool());
    for (const Kind &k : kKinds) {
        for (int round = 0; round < 40; round++) {
            const Table t = k.zeroOne ? gen.zeroOne() : gen.table();
            const unsigned vars = gen.below(1u << addoracle::kVars);
            SCOPED_TRACE(testing::Message() << k.name << ", round " << round << ", cube " << vars);
            expectLeaves(k.abstract(dd, make(t), cube(vars)), abstractModel(t, vars, k.combine));
        }
    }
}

TEST_F(AddAbstractTest, NonCubesAreRefusedWithAMessage) {
    ErrStream err(dd);
    DdNode *x = addVar(2);
    DdNode *notX = hold(Tarn_AddCmpl(dd, x));
    Tarn_Ref(notX);
    // x1 x2 with the else-child x2 below x1: a chain with a bad link under its top
    DdNode *badLink = hold(tarnUniqueInter(dd, 1, dd->one, x));
    Tarn_Ref(badLink);
    DdNode *deepBadLink = hold(tarnUniqueInter(dd, 0, badLink, dd->zero));
    Tarn_Ref(deepBadLink);
    DdNode *nonCubes[] = {
        notX,                                                    // the complement of x
        make({0, 0, 0, 0, 2, 2, 2, 2, 0, 0, 0, 0, 2, 2, 2, 2}),  // x scaled to 2
        constant(2),                                             // a constant other than one
        Tarn_Not(dd->one),                                       // a complemented handle
        Tarn_BddIthVar(dd, 2),                                   // a BDD variable
        badLink,
        deepBadLink,
    };
    DdNode *f = make({1, 0, 3, 1, 1, 1, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0});
    for (const Kind &k : kKinds) {
        for (DdNode *c : nonCubes) {
            // the refusal leaves whatever error code was there
            dd->errorCode = TARN_TIME_OUT;
            const size_t before = err.text().size();
            EXPECT_EQ(k.abstract(dd, f, c), nullptr) << k.name;
            EXPECT_EQ(err.text().substr(before), k.refusal) << k.name;
            EXPECT_EQ(Tarn_ReadErrorCode(dd), TARN_TIME_OUT) << k.name;
        }
    }
}
