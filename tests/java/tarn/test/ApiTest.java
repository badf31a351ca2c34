package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static tarn.test.TruthTables.ALL;
import static tarn.test.TruthTables.VARIABLE;
import static tarn.test.TruthTables.VARS;

import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import java.util.function.BiFunction;
import java.util.function.LongBinaryOperator;
import ordo.ADD;
import ordo.BDD;
import ordo.BDDPairing;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;

/** The object API (ordo.BDD, ordo.ADD, ordo.BDDPairing) against the truth-table oracle. */
class ApiTest extends ApiFixture {
    private final Random random = new Random(7);

    private long randomTable() {
        return random.nextLong() & ALL;
    }

    /** A random cube of positive literals, with its variable mask. */
    private int randomMask() {
        return random.nextInt(1 << VARS);
    }

    private BDD cube(int mask) {
        List<Integer> vars = new ArrayList<>();
        for (int i = 0; i < VARS; i++) {
            if (((mask >> i) & 1) != 0) {
                vars.add(i);
            }
        }
        return f.makeSet(vars.stream().mapToInt(Integer::intValue).toArray());
    }

    private record Connective(String name, BiFunction<BDD, BDD, BDD> op, BiFunction<BDD, BDD, BDD> with,
            LongBinaryOperator table) {
    }

    private static final List<Connective> CONNECTIVES = List.of(
            new Connective("and", BDD::and, BDD::andWith, (a, b) -> a & b),
            new Connective("or", BDD::or, BDD::orWith, (a, b) -> a | b),
            new Connective("xor", BDD::xor, BDD::xorWith, (a, b) -> a ^ b),
            new Connective("imp", BDD::imp, BDD::impWith, (a, b) -> (~a | b) & ALL),
            new Connective("biimp", BDD::biimp, BDD::biimpWith, (a, b) -> ~(a ^ b) & ALL),
            new Connective("diff", BDD::diff, BDD::diffWith, (a, b) -> a & ~b));

    @Test
    void connectivesAndTheirConsumingForms() {
        for (int round = 0; round < 20; round++) {
            long ta = randomTable();
            long tb = round == 0 ? ta : randomTable();
            for (Connective c : CONNECTIVES) {
                BDD a = bdd(ta);
                BDD b = bdd(tb);
                BDD r = c.op().apply(a, b);
                assertEquals(c.table().applyAsLong(ta, tb), table(r), c.name());
                assertEquals(ta, table(a), c.name() + " left its operand alone");
                BDD w = c.with().apply(a, b);
                assertSame(a, w, c.name() + "With returns this");
                assertEquals(table(r), table(a), c.name() + "With");
                assertTrue(b.isFreed(), c.name() + "With consumes its argument");
                assertEquals(r, a);
                assertEquals(r.hashCode(), a.hashCode());
                r.free();
                a.free();
            }
        }
    }

    @Test
    void aConsumingFormWithItselfKeepsOneReference() {
        int start = f.getNodeNum();
        BDD a = bdd(0x1234_5678L);
        a.andWith(a);
        assertEquals(0x1234_5678L, table(a));
        a.xorWith(a);
        assertTrue(a.isZero());
        a.free();
        assertEquals(start, f.getNodeNum());
    }

    @Test
    void notIteQuantificationAndRelationalProduct() {
        for (int round = 0; round < 20; round++) {
            long ta = randomTable();
            long tb = randomTable();
            long tc = randomTable();
            int mask = randomMask();
            BDD a = bdd(ta);
            BDD b = bdd(tb);
            BDD c = bdd(tc);
            BDD cube = cube(mask);
            List<BDD> results = List.of(a.not(), a.ite(b, c), a.exist(cube), a.forAll(cube), a.relprod(b, cube));
            long[] expected = {~ta & ALL, (ta & tb) | (~ta & tc), TruthTables.exists(ta, mask),
                TruthTables.forall(ta, mask), TruthTables.exists(ta & tb, mask)};
            for (int k = 0; k < expected.length; k++) {
                assertEquals(expected[k], table(results.get(k)), "operation " + k);
                results.get(k).free();
            }
            for (BDD x : new BDD[] {a, b, c, cube}) {
                x.free();
            }
        }
    }

    @Test
    void substitutionAndCofactors() {
        for (int round = 0; round < 20; round++) {
            long ta = randomTable();
            long tg = randomTable();
            int var = random.nextInt(VARS);
            BDD a = bdd(ta);
            BDD g = bdd(tg);

            // compose: a with var replaced by g
            BDD composed = a.compose(g, var);
            long expected = (tg & TruthTables.positiveCofactor(ta, var))
                    | (~tg & ALL & TruthTables.negativeCofactor(ta, var));
            assertEquals(expected, table(composed));

            // veccompose with the same single entry
            BDDPairing sub = f.makePair().set(var, g);
            BDD vec = a.veccompose(sub);
            assertEquals(expected, table(vec));

            // replace: swap var and var+1
            int other = (var + 1) % VARS;
            BDDPairing swap = f.makePair().set(var, other).set(other, var);
            BDD renamed = a.replace(swap);
            assertEquals(swapVars(ta, var, other), table(renamed));
            BDD again = renamed.id().replaceWith(swap);
            assertEquals(ta, table(again));

            // restrict by the literal var, then the consuming form
            BDD literal = f.ithVar(var);
            BDD cof = a.restrict(literal);
            assertEquals(TruthTables.positiveCofactor(ta, var), table(cof));
            BDD cof2 = a.id().restrictWith(f.nithVar(var));
            assertEquals(TruthTables.negativeCofactor(ta, var), table(cof2));

            // simplify agrees with a wherever the care set holds
            BDD simplified = a.simplify(g);
            assertEquals(ta & tg, table(simplified) & tg);

            for (BDD x : new BDD[] {a, g, composed, vec, renamed, again, literal, cof, cof2, simplified}) {
                x.free();
            }
            sub.free();
            swap.free();
        }
    }

    private static long swapVars(long t, int i, int j) {
        long r = 0;
        for (int a = 0; a < 32; a++) {
            int bi = (a >> i) & 1;
            int bj = (a >> j) & 1;
            int b = (a & ~(1 << i) & ~(1 << j)) | (bi << j) | (bj << i);
            if (((t >> b) & 1) != 0) {
                r |= 1L << a;
            }
        }
        return r;
    }

    @Test
    void countsSupportAndOneSatisfyingAssignment() {
        for (int round = 0; round < 20; round++) {
            long ta = randomTable();
            BDD a = bdd(ta);
            assertEquals(Long.bitCount(ta), a.satCount(), 0.0);
            BDD sat = a.satOne();
            if (ta == 0) {
                assertTrue(sat.isZero());
            } else {
                long ts = table(sat);
                assertNotEquals(0L, ts);
                assertEquals(ts, ts & ta, "satOne implies the function");
            }
            BDD support = a.support();
            int mask = 0;
            for (int i = 0; i < VARS; i++) {
                if (TruthTables.positiveCofactor(ta, i) != TruthTables.negativeCofactor(ta, i)) {
                    mask |= 1 << i;
                }
            }
            BDD expected = cube(mask);
            assertEquals(expected, support);
            assertTrue(a.nodeCount() >= Integer.bitCount(mask));
            assertTrue(a.pathCount() >= (ta == 0 ? 0 : 1));
            for (BDD x : new BDD[] {a, sat, support, expected}) {
                x.free();
            }
        }
    }

    @Test
    void variablesConstantsAndChildren() {
        BDD x = f.ithVar(2);
        BDD nx = f.nithVar(2);
        assertEquals(VARIABLE[2], table(x));
        assertEquals(~VARIABLE[2] & ALL, table(nx));
        assertEquals(2, x.var());
        BDD hi = x.high();
        BDD lo = x.low();
        assertTrue(hi.isOne());
        assertTrue(lo.isZero());
        assertThrows(IllegalStateException.class, hi::low);
        BDD one = f.one();
        BDD zero = f.zero();
        assertEquals(hi, one);
        assertEquals(lo, zero);
        assertFalse(one.equals(zero));
        assertEquals(VARS, f.varNum());
        for (BDD b : new BDD[] {x, nx, hi, lo, one, zero}) {
            b.free();
        }
    }

    /** The value of an ADD at an assignment, read by walking the diagram. */
    private static double value(ADD a, int assignment) {
        long h = a.handle();
        while (!TARNFactory.isAddConst0(h)) {
            int v = TARNFactory.var0(h);
            long child = ((assignment >> v) & 1) != 0 ? TARNFactory.high0(h, true) : TARNFactory.low0(h, true);
            TARNFactory.delRef(child, true);
            h = child;
        }
        return TARNFactory.retrieveConstValue0(h);
    }

    @Test
    void addArithmeticAbstractionAndConversions() {
        // a = 3*x0 + x1, b = 2 - x2
        ADD a = f.addIthVar(0).timesWith(f.constant(3)).plusWith(f.addIthVar(1));
        ADD b = f.constant(2).minus(f.addIthVar(2));
        ADD[] results = {a.plus(b), a.minus(b), a.times(b), a.max(b), a.min(b), a.negate()};
        for (int s = 0; s < 32; s++) {
            double va = 3 * (s & 1) + ((s >> 1) & 1);
            double vb = 2 - ((s >> 2) & 1);
            double[] expected = {va + vb, va - vb, va * vb, Math.max(va, vb), Math.min(va, vb), -va};
            for (int k = 0; k < expected.length; k++) {
                assertEquals(expected[k], value(results[k], s), 1e-9, "operation " + k + " at " + s);
            }
        }
        assertEquals(4.0, a.findMax().value());
        assertEquals(0.0, a.findMin().value());
        assertThrows(IllegalStateException.class, a::value);

        BDD cube = f.makeSet(0, 1);
        ADD addCube = cube.toADD();
        ADD summed = a.sumAbstract(addCube);
        assertEquals(8.0, summed.value(), 1e-9, "0 + 3 + 1 + 4");
        ADD maxed = a.maxAbstract(addCube);
        assertEquals(4.0, maxed.value(), 1e-9);

        BDD atLeast3 = a.toBDDThreshold(3);
        assertEquals(VARIABLE[0], table(atLeast3), "3*x0 + x1 >= 3 exactly when x0");
        BDD nonZero = a.toBDD();
        assertEquals(VARIABLE[0] | VARIABLE[1], table(nonZero));
        ADD back = nonZero.toADD();
        assertEquals(1.0, value(back, 1));
        assertEquals(0.0, value(back, 4));
        for (ADD x : results) {
            x.free();
        }
        for (ADD x : new ADD[] {a, b, summed, maxed, back, addCube}) {
            x.free();
        }
        cube.free();
        atLeast3.free();
        nonZero.free();
    }
}
