package tarn.test;

import static tarn.test.LeafModels.INF;
import static tarn.test.LeafModels.canonical;

import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.BitSet;
import java.util.Deque;
import java.util.List;
import java.util.Random;
import java.util.function.DoubleBinaryOperator;
import ordo.BDDFactory;
import ordo.TARNFactory;

/**
 * A random differential tester of the factory. One run (a seed) creates a manager with small
 * tables, so that the collector and the table growth run often, and performs random steps: BDD
 * and ADD operations, substitution through pairing records, counting, cofactors, references and
 * releases with their flags. Every result is read back through var0, low0, high0 and
 * retrieveConstValue0 and compared with a truth table (BDDs) or a leaf table (ADDs) computed in
 * Java; the reading also checks that the diagram is reduced, ordered and canonical. Now and then,
 * and at the end, everything is released and the live-node count must be back where it started.
 *
 * <p>The kinds of step are rows of one table ({@link #kinds}): a new operation joins the tester as
 * one more row. A failed check throws {@link DiagramOracle.Failure}; {@link #main} prints a FAIL line with the seed
 * and the last steps, and a run of that seed alone repeats it.
 *
 * <p>Usage: {@code Fuzz LIBRARY FIRST_SEED SEEDS STEPS}.
 */
public final class Fuzz extends DiagramOracle {

    /** One kind of step: its name, its relative weight and what it does. */
    private record Kind(String name, int weight, Runnable action) {
    }

    /** A diagram the run owns one reference to, with its table. */
    private static final class Item {
        final long h;
        final boolean add;
        final BitSet bits;       // BDD: bit a is the value at assignment a
        final double[] leaves;   // ADD: the leaf at assignment a
        final boolean zeroOne;   // ADD with leaves 0 and 1 only
        final boolean nice;      // ADD whose leaves all stay exact under the arithmetic

        Item(long h, BitSet bits) {
            this.h = h;
            this.add = false;
            this.bits = bits;
            this.leaves = null;
            this.zeroOne = false;
            this.nice = false;
        }

        Item(long h, double[] leaves) {
            this.h = h;
            this.add = true;
            this.bits = null;
            this.leaves = leaves;
            boolean z = true;
            boolean n = true;
            for (double v : leaves) {
                z &= v == 0 || v == 1;
                n &= isNice(v);
            }
            this.zeroOne = z;
            this.nice = n;
        }
    }

    /** A pairing record and the function of each of its entries. */
    private static final class Pairing {
        final long address;
        final boolean add;
        final Object[] entries;  // BitSet or double[] per variable index

        Pairing(long address, boolean add, Object[] entries) {
            this.address = address;
            this.add = add;
            this.entries = entries;
        }
    }

    private static final int POOL_LIMIT = 40;
    private static final int TRACE_LENGTH = 25;
    private static final double[] NICE_VALUES = {0, 1, 2, -3, 0.5, 7, 1.25, INF, -INF};
    private static final int[][] TABLE_SIZES = {{8, 4}, {30, 1000}, {8, 16}, {1000, 4}};

    private final long seed;
    private final Random random;
    private final List<Item> pool = new ArrayList<>();
    private final List<Pairing> pairings = new ArrayList<>();
    private final Deque<String> trace = new ArrayDeque<>();
    private final List<Kind> kinds = new ArrayList<>();
    /** The variable blocks made (each accepted), as variable lists, with their fixed flags. */
    private final List<int[]> blocks = new ArrayList<>();
    private final List<Boolean> fixedBlocks = new ArrayList<>();
    private int totalWeight;
    private int baseline;
    private int step;

    Fuzz(long seed) {
        super(7 + (int) Math.floorMod(seed, 6L));
        this.seed = seed;
        this.random = new Random(seed);
        defineKinds();
    }

    // ---- the table of step kinds ----------------------------------------------------------------

    private void kind(String name, int weight, Runnable action) {
        kinds.add(new Kind(name, weight, action));
        totalWeight += weight;
    }

    private void defineKinds() {
        kind("bdd variable", 3, this::bddVariable);
        kind("apply0", 14, this::bddApply);
        kind("ite0", 4, this::bddIte);
        kind("not0", 2, this::bddNot);
        kind("equalBDDs0", 2, this::bddEqual);
        kind("exist0/forAll0", 4, this::bddQuantify);
        kind("relprod0", 3, this::bddRelprod);
        kind("compose0", 3, this::bddCompose);
        kind("restrict0", 3, this::bddRestrict);
        kind("simplify0", 2, this::bddSimplify);
        kind("counts", 3, this::bddCounts);
        kind("satOne0", 2, this::bddSatOne);
        kind("support0", 2, this::bddSupport);
        kind("pairing", 3, this::pairingEdit);
        kind("replace0", 3, this::replace);
        kind("veccompose0", 3, this::vecCompose);
        kind("add constant", 3, this::addConstant);
        kind("add variable", 2, this::addVariable);
        kind("toADD0", 3, this::toAdd);
        kind("add apply0", 10, this::addApply);
        kind("add ite0/not0", 3, this::addIteNot);
        kind("add one-operand", 4, this::addUnary);
        kind("add abstraction", 4, this::addAbstract);
        kind("add conversion", 4, this::addConvert);
        kind("add counts", 2, this::addCounts);
        kind("add compose0/simplify0", 2, this::addCompose);
        kind("references", 3, this::references);
        kind("release", 6, this::release);
        kind("release all", 1, this::releaseAllAndCheck);
        kind("restart", 1, this::restart);
        kind("reorder0", 2, this::reorder);
        kind("setVarOrder0", 1, this::setOrder);
        kind("autoReorder0", 1, this::autoReorder);
        kind("addVarBlock0", 1, this::varBlock);
        kind("clearVarBlocks0", 1, this::clearBlocks);
    }

    // ---- running ------------------------------------------------------------------------------

    /** Runs the steps of this seed; throws Failure (or any unexpected exception) on a fault. */
    void run(int steps) {
        note("start");
        try {
            start();
            for (step = 0; step < steps; step++) {
                // Trimmed between steps only: a step's operands stay alive until it ends.
                while (pool.size() > POOL_LIMIT) {
                    releaseItem(random.nextInt(pool.size()));
                }
                int r = random.nextInt(totalWeight);
                for (Kind k : kinds) {
                    r -= k.weight();
                    if (r < 0) {
                        note(k.name());
                        k.action().run();
                        break;
                    }
                }
            }
            releaseAllAndCheck();
        } finally {
            TARNFactory.done0();
        }
    }

    /** Creates the manager with small tables and the variables. */
    private void start() {
        int[] sizes = TABLE_SIZES[random.nextInt(TABLE_SIZES.length)];
        boolean add = random.nextBoolean();
        detail("initialize0(" + sizes[0] + ", " + sizes[1] + "), setVarNum0(" + vars + ", " + add + ")");
        TARNFactory.initialize0(sizes[0], sizes[1]);
        blocks.clear();
        fixedBlocks.clear();
        check(TARNFactory.setVarNum0(vars, add) == 0, "setVarNum0 of a new manager");
        check(TARNFactory.varNum0() == vars, "varNum0");
        baseline = TARNFactory.getNodeNum0();
    }

    /** Shuts the factory down and starts a new one. */
    private void restart() {
        releaseAllAndCheck();
        TARNFactory.done0();
        check(!TARNFactory.isInitialized0(), "isInitialized0 after done0");
        start();
    }

    /** The last steps, oldest first. */
    String lastSteps() {
        return String.join("\n", trace);
    }

    private void note(String what) {
        if (trace.size() == TRACE_LENGTH) {
            trace.removeFirst();
        }
        trace.addLast("  step " + step + ": " + what);
    }

    /** Adds detail to the current step's line. */
    private void detail(String what) {
        String last = trace.removeLast();
        trace.addLast(last + " " + what);
    }

    // ---- checking results ---------------------------------------------------------------------

    /** Checks a BDD result against its truth table and against the diagrams held. */
    private Item bddResult(long h, BitSet expected, String what) {
        check(h != 0, what + ": no result");
        BitSet actual = readBdd(h, new Reading(), what);
        if (!actual.equals(expected)) {
            BitSet wrong = xor(actual, expected);
            throw new Failure(what + ": wrong value at assignment " + wrong.nextSetBit(0) + " (" + wrong.cardinality()
                    + " of " + size + " differ)");
        }
        for (Item it : pool) {
            if (!it.add && it.bits.equals(expected)) {
                check(it.h == h, what + ": a second handle for a function held already");
            }
        }
        return new Item(h, expected);
    }

    /**
     * Checks an ADD result against its leaf table. With exact set, every leaf must be the one the
     * model computes; otherwise (the logarithm, division) a leaf may differ by rounding.
     */
    private Item addResult(long h, double[] expected, boolean exact, String what) {
        check(h != 0, what + ": no result");
        double[] actual = readAdd(h, new Reading(), what);
        for (int a = 0; a < size; a++) {
            double e = expected[a];
            double v = actual[a];
            boolean ok = LeafModels.same(e, v) || (!exact && Math.abs(e - v) <= 1e-12 + 1e-13 * Math.abs(e));
            check(ok, what + ": leaf " + v + " at assignment " + a + " where " + e + " was expected");
        }
        Item item = new Item(h, actual);
        if (item.nice) {
            for (Item it : pool) {
                if (it.add && it.nice && Arrays.equals(it.leaves, actual)) {
                    check(it.h == h, what + ": a second handle for a function held already");
                }
            }
        }
        return item;
    }

    /** Keeps a checked result in the pool (only exact ADDs stay), or releases it. */
    private void keep(Item item) {
        if (item.add && !item.nice) {
            TARNFactory.delRef(item.h, true);
            return;
        }
        pool.add(item);
    }

    private void keepBdd(long h, BitSet expected, String what) {
        keep(bddResult(h, expected, what));
    }

    private void keepAdd(long h, double[] expected, boolean exact, String what) {
        keep(addResult(h, expected, exact, what));
    }

    private void releaseItem(int index) {
        Item it = pool.remove(index);
        TARNFactory.delRef(it.h, it.add || random.nextInt(4) == 0);
    }

    // ---- operands -------------------------------------------------------------------------------

    private Item pickBdd() {
        return pick(it -> !it.add, () -> bddVariable());
    }

    private Item pickAdd() {
        return pick(it -> it.add, () -> addVariable());
    }

    private Item pickZeroOne() {
        return pick(it -> it.add && it.zeroOne, () -> addVariable());
    }

    private Item pick(java.util.function.Predicate<Item> fits, Runnable make) {
        List<Item> candidates = new ArrayList<>();
        for (Item it : pool) {
            if (fits.test(it)) {
                candidates.add(it);
            }
        }
        if (candidates.isEmpty() || random.nextInt(12) == 0) {
            make.run();
            return pool.get(pool.size() - 1);
        }
        return candidates.get(random.nextInt(candidates.size()));
    }

    private int randomCubeVars() {
        int c = 0;
        for (int v = 0; v < vars; v++) {
            if (random.nextInt(3) == 0) {
                c |= 1 << v;
            }
        }
        return c;
    }

    /** The BDD cube of positive literals of the variables in cubeVars, owned by the caller. */
    private long bddCube(int cubeVars) {
        long c = TARNFactory.one;
        TARNFactory.addRef(c);
        for (int v = vars - 1; v >= 0; v--) {
            if (((cubeVars >> v) & 1) != 0) {
                long x = TARNFactory.ithVar0(v, false);
                c = TARNFactory.apply0(c, x, 0, false, true, true);
            }
        }
        BitSet expected = all();
        for (int v = 0; v < vars; v++) {
            if (((cubeVars >> v) & 1) != 0) {
                expected.and(variable[v]);
            }
        }
        bddResult(c, expected, "cube");
        return c;
    }

    private long addCube(int cubeVars) {
        long b = bddCube(cubeVars);
        long c = TARNFactory.toADD0(b);
        TARNFactory.delRef(b, false);
        return c;
    }

    private static String hex(long h) {
        return "0x" + Long.toHexString(h);
    }

    // ---- BDD steps ------------------------------------------------------------------------------

    private void bddVariable() {
        if (random.nextInt(8) == 0) {
            boolean one = random.nextBoolean();
            long h = one ? TARNFactory.one : TARNFactory.logicZero0();
            if (one) {
                TARNFactory.addRef(h);
            }
            keepBdd(h, one ? all() : new BitSet(size), one ? "one" : "logicZero0");
            return;
        }
        int v = random.nextInt(vars);
        detail(String.valueOf(v));
        long h = TARNFactory.ithVar0(v, false);
        BitSet t = variable[v];
        if (random.nextBoolean()) {
            long n = TARNFactory.not0(h, false);
            TARNFactory.delRef(h, false);
            h = n;
            t = not(t);
        }
        keepBdd(h, t, "ithVar0 " + v);
    }

    private void bddApply() {
        Item a = pickBdd();
        Item b = pickBdd();
        int code = random.nextInt(10);
        boolean releaseA = random.nextInt(4) == 0 && a != b;
        boolean releaseB = releaseA && random.nextBoolean();
        detail("code " + code + " " + hex(a.h) + " " + hex(b.h) + " release " + releaseA + " " + releaseB);
        long r = TARNFactory.apply0(a.h, b.h, code, false, releaseA, releaseB);
        if (releaseA) {
            pool.remove(a);
        }
        if (releaseB) {
            pool.remove(b);
        }
        keepBdd(r, bddCode(code, a.bits, b.bits), "apply0 code " + code);
    }

    private void bddIte() {
        Item f = pickBdd();
        Item g = pickBdd();
        Item h = pickBdd();
        keepBdd(TARNFactory.ite0(f.h, g.h, h.h, false), ite(f.bits, g.bits, h.bits), "ite0");
    }

    private void bddNot() {
        Item f = pickBdd();
        long r = TARNFactory.not0(f.h, false);
        check(r == (f.h ^ 1L), "not0 is not the complemented handle");
        keepBdd(r, not(f.bits), "not0");
    }

    private void bddEqual() {
        Item a = pickBdd();
        Item b = random.nextBoolean() ? a : pickBdd();
        check(TARNFactory.equalBDDs0(a.h, b.h) == a.bits.equals(b.bits), "equalBDDs0");
    }

    private void bddQuantify() {
        Item f = pickBdd();
        int cubeVars = randomCubeVars();
        long c = bddCube(cubeVars);
        boolean exist = random.nextBoolean();
        detail((exist ? "exist " : "forall ") + Integer.toBinaryString(cubeVars));
        if (exist) {
            keepBdd(TARNFactory.exist0(f.h, c, false), exists(f.bits, cubeVars), "exist0");
        } else {
            keepBdd(TARNFactory.forAll0(f.h, c, false), not(exists(not(f.bits), cubeVars)), "forAll0");
        }
        TARNFactory.delRef(c, false);
    }

    private void bddRelprod() {
        Item f = pickBdd();
        Item g = pickBdd();
        int cubeVars = randomCubeVars();
        long c = bddCube(cubeVars);
        keepBdd(TARNFactory.relprod0(f.h, g.h, c), exists(and(f.bits, g.bits), cubeVars), "relprod0");
        TARNFactory.delRef(c, false);
    }

    private void bddCompose() {
        Item f = pickBdd();
        Item g = pickBdd();
        int v = random.nextInt(vars);
        BitSet[] in = identityInputs();
        in[v] = g.bits;
        keepBdd(TARNFactory.compose0(f.h, g.h, v, false), substitute(f.bits, in), "compose0 at " + v);
    }

    private void bddRestrict() {
        Item f = pickBdd();
        // a cube of literals and its effect on the table
        long c = TARNFactory.one;
        TARNFactory.addRef(c);
        BitSet expected = f.bits;
        BitSet cubeTable = all();
        for (int v = vars - 1; v >= 0; v--) {
            if (random.nextInt(4) == 0) {
                boolean positive = random.nextBoolean();
                long x = TARNFactory.ithVar0(v, false);
                long lit = positive ? x : x ^ 1L;
                c = TARNFactory.apply0(c, lit, 0, false, true, true);
                expected = cofactor(expected, v, positive);
                cubeTable.and(positive ? variable[v] : not(variable[v]));
            }
        }
        bddResult(c, cubeTable, "cube of literals");
        if (random.nextBoolean()) {
            keepBdd(TARNFactory.restrict0(f.h, c), expected, "restrict0");
            TARNFactory.delRef(c, false);
        } else {
            boolean releaseC = random.nextBoolean();
            // restrictWith0 releases f: hand it a reference of its own
            TARNFactory.addRef(f.h);
            keepBdd(TARNFactory.restrictWith0(f.h, c, releaseC), expected, "restrictWith0");
            if (!releaseC) {
                TARNFactory.delRef(c, false);
            }
        }
    }

    private void bddSimplify() {
        Item f = pickBdd();
        Item c = pickBdd();
        long r = TARNFactory.simplify0(f.h, c.h, false);
        check(r != 0, "simplify0: no result");
        BitSet actual = readBdd(r, new Reading(), "simplify0");
        check(and(actual, c.bits).equals(and(f.bits, c.bits)), "simplify0 differs from f inside the care set");
        keep(bddResult(r, actual, "simplify0"));
    }

    private void bddCounts() {
        Item f = pickBdd();
        Reading reading = new Reading();
        readBdd(f.h, reading, "counts");
        check(TARNFactory.satCount0(f.h) == f.bits.cardinality(), "satCount0 " + TARNFactory.satCount0(f.h)
                + " where " + f.bits.cardinality() + " was expected");
        double paths = reading.paths.get(f.h);
        check(TARNFactory.pathCount0(f.h) == paths, "pathCount0");
        check(TARNFactory.getSize0(f.h) == reading.nodes.size(), "getSize0");
        check(TARNFactory.nodeCount0(f.h) == reading.nodes.size() - 1, "nodeCount0");
    }

    private void bddSatOne() {
        Item f = pickBdd();
        long r = TARNFactory.satOne0(f.h, false);
        check(r != 0, "satOne0: no result");
        BitSet cube = readBdd(r, new Reading(), "satOne0");
        check(f.bits.isEmpty() ? cube.isEmpty() : !cube.isEmpty(), "satOne0 of a satisfiable function is empty");
        BitSet outside = (BitSet) cube.clone();
        outside.andNot(f.bits);
        check(outside.isEmpty(), "satOne0 is not inside the function");
        // a cube: every node has a zero child
        for (long h = r; h != TARNFactory.one && h != TARNFactory.zero;) {
            long hi = TARNFactory.high0(h, false);
            long lo = TARNFactory.low0(h, false);
            TARNFactory.delRef(hi, false);
            TARNFactory.delRef(lo, false);
            check(hi == TARNFactory.zero || lo == TARNFactory.zero, "satOne0 is not a cube");
            h = hi == TARNFactory.zero ? lo : hi;
        }
        keep(bddResult(r, cube, "satOne0"));
    }

    private void bddSupport() {
        Item f = pickBdd();
        int s = supportOf(f.bits);
        int[] mask = TARNFactory.varSupportIndex0(f.h);
        check(mask.length == vars, "varSupportIndex0 length");
        for (int v = 0; v < vars; v++) {
            check(mask[v] == ((s >> v) & 1), "varSupportIndex0 at " + v);
        }
        BitSet cube = all();
        for (int v = 0; v < vars; v++) {
            if (((s >> v) & 1) != 0) {
                cube.and(variable[v]);
            }
        }
        keepBdd(TARNFactory.support0(f.h, false), cube, "support0");
    }

    // ---- pairing records ------------------------------------------------------------------------

    private Pairing pickPairing(boolean add) {
        for (Pairing p : pairings) {
            if (p.add == add) {
                return p;
            }
        }
        long address = TARNFactory.alloc(add);
        check(address != 0, "alloc");
        Object[] entries = new Object[vars];
        for (int i = 0; i < vars; i++) {
            entries[i] = add ? zeroOne(variable[i]) : variable[i];
        }
        Pairing p = new Pairing(address, add, entries);
        pairings.add(p);
        return p;
    }

    private void pairingEdit() {
        boolean add = random.nextInt(3) == 0;
        Pairing p = pickPairing(add);
        int i = random.nextInt(vars);
        switch (random.nextInt(8)) {
            case 0:
                detail("reset0");
                TARNFactory.reset0(p.address, add);
                for (int k = 0; k < vars; k++) {
                    p.entries[k] = add ? zeroOne(variable[k]) : variable[k];
                }
                break;
            case 1:
                detail("free0");
                TARNFactory.free0(p.address);
                pairings.remove(p);
                break;
            case 2: case 3: case 4: {
                int v = random.nextInt(vars);
                detail("set0 " + i + " " + v);
                TARNFactory.set0(p.address, i, v, add);
                p.entries[i] = add ? zeroOne(variable[v]) : variable[v];
                break;
            }
            default: {
                Item g = add ? pickZeroOne() : pickBdd();
                detail("set2 " + i + " " + hex(g.h));
                TARNFactory.set2(p.address, i, g.h);
                p.entries[i] = add ? g.leaves : g.bits;
                break;
            }
        }
    }

    private BitSet[] inputs(Pairing p) {
        BitSet[] in = new BitSet[vars];
        for (int i = 0; i < vars; i++) {
            in[i] = p.add ? where((double[]) p.entries[i], v -> v != 0) : (BitSet) p.entries[i];
        }
        return in;
    }

    /** The variable of an entry's top node, or -1 for a constant entry. */
    private int topVariable(Object entry) {
        int support = entry instanceof BitSet b ? supportOf(b) : supportOf((double[]) entry);
        int top = -1;
        for (int v = 0; v < vars; v++) {
            if (((support >> v) & 1) != 0 && (top < 0 || level(v) < level(top))) {
                top = v;
            }
        }
        return top;
    }

    private void replace() {
        boolean add = random.nextInt(3) == 0;
        Pairing p = pickPairing(add);
        Item f = add ? pickAdd() : pickBdd();
        BitSet[] in = new BitSet[vars];
        boolean constantEntry = false;
        for (int i = 0; i < vars; i++) {
            int top = topVariable(p.entries[i]);
            constantEntry |= top < 0;
            in[i] = top < 0 ? null : variable[top];
        }
        boolean with = random.nextBoolean();
        if (with) {
            TARNFactory.addRef(f.h);  // replaceWith0 releases one reference of f
        }
        detail((with ? "replaceWith0 " : "replace0 ") + hex(f.h));
        if (constantEntry) {
            try {
                long r = with ? TARNFactory.replaceWith0(f.h, p.address, add) : TARNFactory.replace0(f.h, p.address, add);
                throw new Failure("replace0 with a constant entry returned " + hex(r));
            } catch (IllegalArgumentException expected) {
                return;
            }
        }
        long r = with ? TARNFactory.replaceWith0(f.h, p.address, add) : TARNFactory.replace0(f.h, p.address, add);
        if (add) {
            keepAdd(r, substitute(f.leaves, in), true, "replace0 ADD");
        } else {
            keepBdd(r, substitute(f.bits, in), "replace0");
        }
    }

    private void vecCompose() {
        boolean add = random.nextInt(3) == 0;
        Pairing p = pickPairing(add);
        Item f = add ? pickAdd() : pickBdd();
        long r = TARNFactory.veccompose0(f.h, p.address, add);
        if (add) {
            keepAdd(r, substitute(f.leaves, inputs(p)), true, "veccompose0 ADD");
        } else {
            keepBdd(r, substitute(f.bits, inputs(p)), "veccompose0");
        }
    }

    // ---- ADD steps ------------------------------------------------------------------------------

    private void addConstant() {
        double v = NICE_VALUES[random.nextInt(NICE_VALUES.length)];
        long h;
        switch (random.nextInt(6)) {
            case 0: h = TARNFactory.arithmeticZero0(); v = 0; break;
            case 1: h = TARNFactory.arithmeticLogicOne0(); v = 1; break;
            case 2: h = TARNFactory.arithmeticPlusInfinity0(); v = INF; break;
            case 3: h = TARNFactory.arithmeticMinusInfinity0(); v = -INF; break;
            default: h = TARNFactory.addConst0(v); break;
        }
        detail(String.valueOf(v));
        double[] t = new double[size];
        Arrays.fill(t, v);
        keepAdd(h, t, true, "constant " + v);
    }

    private void addVariable() {
        int v = random.nextInt(vars);
        detail(String.valueOf(v));
        keepAdd(TARNFactory.ithVar0(v, true), zeroOne(variable[v]), true, "ADD ithVar0 " + v);
    }

    private void toAdd() {
        Item f = pickBdd();
        keepAdd(TARNFactory.toADD0(f.h), zeroOne(f.bits), true, "toADD0");
    }

    private void addApply() {
        int code = random.nextInt(19);
        boolean disjunction = code == 2 || code == 5 || code == 9;
        Item a = disjunction ? pickZeroOne() : pickAdd();
        Item b = disjunction ? pickZeroOne() : pickAdd();
        boolean releaseA = random.nextInt(5) == 0 && a != b;
        boolean releaseB = releaseA && random.nextBoolean();
        detail("code " + code + " " + hex(a.h) + " " + hex(b.h));
        long r = TARNFactory.apply0(a.h, b.h, code, true, releaseA, releaseB);
        if (releaseA) {
            pool.remove(a);
        }
        if (releaseB) {
            pool.remove(b);
        }
        final int c = code;
        keepAdd(r, pointwise(a.leaves, b.leaves, (x, y) -> LeafModels.model(c, x, y)), code != 11,
                "ADD apply0 code " + code);
    }

    private void addIteNot() {
        if (random.nextBoolean()) {
            Item f = pickAdd();
            keepAdd(TARNFactory.not0(f.h, true), map(f.leaves, LeafModels::cmpl), true, "ADD not0");
            return;
        }
        Item c = pickZeroOne();
        Item g = pickAdd();
        Item h = pickAdd();
        double[] expected = new double[size];
        for (int a = 0; a < size; a++) {
            expected[a] = c.leaves[a] == 1 ? g.leaves[a] : h.leaves[a];
        }
        keepAdd(TARNFactory.ite0(c.h, g.h, h.h, true), expected, true, "ADD ite0");
    }

    private void addUnary() {
        Item f = pickAdd();
        switch (random.nextInt(6)) {
            case 0: {
                boolean nonNegative = true;
                for (double v : f.leaves) {
                    nonNegative &= v >= 0;
                }
                if (nonNegative) {
                    keepAdd(TARNFactory.addApplyLog0(f.h), map(f.leaves, v -> v == INF ? INF : canonical(Math.log(v))),
                            false, "addApplyLog0");
                }
                break;
            }
            case 1:
                keepAdd(TARNFactory.addAdditiveNeg0(f.h), map(f.leaves, v -> canonical(-v)), true, "addAdditiveNeg0");
                break;
            case 2: {
                double m = NICE_VALUES[random.nextInt(NICE_VALUES.length)];
                detail("value " + m);
                keepAdd(TARNFactory.addMinimizeVal0(f.h, m), map(f.leaves, v -> v == m ? -INF : v), true,
                        "addMinimizeVal0 " + m);
                break;
            }
            case 3: {
                Item g = pickAdd();
                double cap = random.nextBoolean() ? -1 : random.nextInt(8);
                detail("cap " + cap);
                keepAdd(TARNFactory.addEngSubtract0(f.h, g.h, cap),
                        pointwise(f.leaves, g.leaves, (x, y) -> LeafModels.energyMinus(x, y, cap)), true,
                        "addEngSubtract0 cap " + cap);
                break;
            }
            default: {
                boolean max = random.nextBoolean();
                double extreme = max ? Double.NEGATIVE_INFINITY : Double.POSITIVE_INFINITY;
                for (double v : f.leaves) {
                    extreme = max ? Math.max(extreme, v) : Math.min(extreme, v);
                }
                double[] t = new double[size];
                Arrays.fill(t, extreme);
                keepAdd(max ? TARNFactory.addFindMax0(f.h) : TARNFactory.addFindMin0(f.h), t, true,
                        max ? "addFindMax0" : "addFindMin0");
                break;
            }
        }
    }

    private void addAbstract() {
        Item f = pickAdd();
        int cubeVars = randomCubeVars();
        long c = addCube(cubeVars);
        detail(Integer.toBinaryString(cubeVars));
        switch (random.nextInt(5)) {
            case 0:
                keepAdd(TARNFactory.arithmeticExist0(f.h, c), abstractLeaves(f.leaves, cubeVars, LeafModels::plus),
                        true, "arithmeticExist0");
                break;
            case 1:
                keepAdd(TARNFactory.forAll0(f.h, c, true), abstractLeaves(f.leaves, cubeVars, LeafModels::times),
                        true, "ADD forAll0");
                break;
            case 2: {
                DoubleBinaryOperator op = f.zeroOne ? (x, y) -> x == 1 || y == 1 ? 1 : 0 : LeafModels::plus;
                keepAdd(TARNFactory.exist0(f.h, c, true), abstractLeaves(f.leaves, cubeVars, op), true, "ADD exist0");
                break;
            }
            case 3:
                keepAdd(TARNFactory.addAbstractMax0(f.h, c), abstractLeaves(f.leaves, cubeVars, LeafModels::max),
                        true, "addAbstractMax0");
                break;
            default:
                keepAdd(TARNFactory.addAbstractMin0(f.h, c), abstractLeaves(f.leaves, cubeVars, LeafModels::min),
                        true, "addAbstractMin0");
                break;
        }
        TARNFactory.delRef(c, true);
    }

    private void addConvert() {
        Item f = pickAdd();
        double t = NICE_VALUES[random.nextInt(NICE_VALUES.length)];
        detail("bound " + t);
        switch (random.nextInt(7)) {
            case 0:
                keepBdd(TARNFactory.toBDD0(f.h), where(f.leaves, v -> v != 0), "toBDD0");
                break;
            case 1:
                keepBdd(TARNFactory.toBDDThreshold(f.h, t), where(f.leaves, v -> !(t > v)), "toBDDThreshold");
                break;
            case 2:
                keepBdd(TARNFactory.toBDDStrictThreshold(f.h, t), where(f.leaves, v -> !(t >= v)),
                        "toBDDStrictThreshold");
                break;
            case 3: {
                double hi = NICE_VALUES[random.nextInt(NICE_VALUES.length)];
                detail("to " + hi);
                keepBdd(TARNFactory.toBDDInterval(f.h, t, hi), where(f.leaves, v -> !(t > v) && !(v > hi)),
                        "toBDDInterval");
                break;
            }
            case 4: {
                int i = random.nextInt(40) - 4;
                detail("bit " + i);
                keepBdd(TARNFactory.toBDDIthBit(f.h, i), where(f.leaves, v -> LeafModels.ithBit(v, i)),
                        "toBDDIthBit " + i);
                break;
            }
            case 5: {
                int kind = 1 + random.nextInt(4);
                detail("kind " + kind);
                keepAdd(TARNFactory.convertToZeroOneADDByThres0(f.h, kind, t),
                        map(f.leaves, v -> LeafModels.threshold(kind, v, t) ? 1 : 0), true,
                        "convertToZeroOneADDByThres0 kind " + kind);
                break;
            }
            default:
                check(TARNFactory.isZeroOneADD0(f.h) == f.zeroOne, "isZeroOneADD0");
                break;
        }
    }

    private void addCounts() {
        Item f = pickAdd();
        Reading reading = new Reading();
        readAdd(f.h, reading, "ADD counts");
        int nonZero = 0;
        for (double v : f.leaves) {
            nonZero += v != 0 ? 1 : 0;
        }
        check(TARNFactory.satCount0(f.h) == nonZero, "ADD satCount0");
        check(TARNFactory.pathCount0(f.h) == reading.paths.get(f.h), "ADD pathCount0");
        check(TARNFactory.getSize0(f.h) == reading.nodes.size(), "ADD getSize0");
        // one path cube: a 0/1 ADD, inside the non-zero leaves
        long r = TARNFactory.satOne0(f.h, true);
        check(r != 0, "ADD satOne0: no result");
        double[] cube = readAdd(r, new Reading(), "ADD satOne0");
        boolean any = false;
        for (int a = 0; a < size; a++) {
            check(cube[a] == 0 || (cube[a] == 1 && f.leaves[a] != 0), "ADD satOne0 outside the non-zero leaves");
            any |= cube[a] == 1;
        }
        check(any == (nonZero > 0), "ADD satOne0 of a function with non-zero leaves is empty");
        keep(addResult(r, cube, true, "ADD satOne0"));
        int s = supportOf(f.leaves);
        double[] supportCube = new double[size];
        for (int a = 0; a < size; a++) {
            supportCube[a] = (a & s) == s ? 1 : 0;
        }
        keepAdd(TARNFactory.support0(f.h, true), supportCube, true, "ADD support0");
    }

    private void addCompose() {
        Item f = pickAdd();
        Item g = pickZeroOne();
        if (random.nextBoolean()) {
            int v = random.nextInt(vars);
            BitSet[] in = identityInputs();
            in[v] = where(g.leaves, x -> x == 1);
            keepAdd(TARNFactory.compose0(f.h, g.h, v, true), substitute(f.leaves, in), true, "ADD compose0 at " + v);
            return;
        }
        long r = TARNFactory.simplify0(f.h, g.h, true);
        check(r != 0, "ADD simplify0: no result");
        double[] actual = readAdd(r, new Reading(), "ADD simplify0");
        for (int a = 0; a < size; a++) {
            check(g.leaves[a] == 0 || LeafModels.same(actual[a], f.leaves[a]), "ADD simplify0 differs inside the care set");
        }
        keep(addResult(r, actual, true, "ADD simplify0"));
    }

    // ---- references -----------------------------------------------------------------------------

    private void references() {
        if (pool.isEmpty()) {
            return;
        }
        Item it = pool.get(random.nextInt(pool.size()));
        switch (random.nextInt(3)) {
            case 0:
                // a second reference, owned by a copy of the item
                TARNFactory.addRef(it.h);
                pool.add(it.add ? new Item(it.h, it.leaves) : new Item(it.h, it.bits));
                break;
            case 1:
                // low0 and high0 each hand out a reference of the child's own
                if (it.add ? !TARNFactory.isAddConst0(it.h) : it.h != TARNFactory.one && it.h != TARNFactory.zero) {
                    int v = TARNFactory.var0(it.h);
                    long hi = TARNFactory.high0(it.h, it.add);
                    long lo = TARNFactory.low0(it.h, it.add);
                    if (it.add) {
                        keepAdd(hi, cofactorLeaves(it.leaves, v, true), true, "high0");
                        keepAdd(lo, cofactorLeaves(it.leaves, v, false), true, "low0");
                    } else {
                        keepBdd(hi, cofactor(it.bits, v, true), "high0");
                        keepBdd(lo, cofactor(it.bits, v, false), "low0");
                    }
                } else {
                    check(TARNFactory.low0(it.h, it.add) == -1L, "low0 of a constant");
                }
                break;
            default:
                // the live-node count reads and empties the delayed-release queue
                check(TARNFactory.getNodeNum0() >= baseline, "getNodeNum0 below the start");
                addRefDelRefRoundTrip(it);
                break;
        }
    }

    private double[] cofactorLeaves(double[] t, int v, boolean value) {
        double[] r = new double[size];
        int bit = 1 << v;
        for (int a = 0; a < size; a++) {
            r[a] = t[value ? a | bit : a & ~bit];
        }
        return r;
    }

    private void addRefDelRefRoundTrip(Item it) {
        TARNFactory.addRef(it.h);
        TARNFactory.delRef(it.h, it.add);
        TARNFactory.addRef(-1L);
        TARNFactory.delRef(-1L, it.add);
        TARNFactory.delRef(0L, it.add);
    }

    private void release() {
        int n = 1 + random.nextInt(4);
        for (int i = 0; i < n && !pool.isEmpty(); i++) {
            releaseItem(random.nextInt(pool.size()));
        }
    }

    /** Releases every diagram and pairing record; the live-node count must be back at the start. */
    private void releaseAllAndCheck() {
        while (!pool.isEmpty()) {
            releaseItem(pool.size() - 1);
        }
        for (Pairing p : pairings) {
            TARNFactory.free0(p.address);
        }
        pairings.clear();
        int live = TARNFactory.getNodeNum0();
        check(live == baseline, "live nodes after releasing everything: " + live + ", at the start " + baseline);
    }

    // ---- variable order ---------------------------------------------------------------------------

    private static final BDDFactory.ReorderMethod[] METHODS = {
        BDDFactory.REORDER_NONE, BDDFactory.REORDER_RANDOM, BDDFactory.REORDER_SIFT,
        BDDFactory.REORDER_SIFTITE, BDDFactory.REORDER_WIN2, BDDFactory.REORDER_WIN2ITE,
        BDDFactory.REORDER_WIN3, BDDFactory.REORDER_WIN3ITE,
    };

    private int[] currentOrder() {
        int[] order = new int[vars];
        for (int l = 0; l < vars; l++) {
            order[l] = TARNFactory.level2Var0(l);
        }
        return order;
    }

    /** Every held diagram still reads as its table, and every block is together. */
    private void checkAfterReordering(String what) {
        for (Item it : pool) {
            if (it.add) {
                double[] actual = readAdd(it.h, new Reading(), what);
                for (int a = 0; a < size; a++) {
                    check(LeafModels.same(it.leaves[a], actual[a]), what + ": a held ADD changed at " + a);
                }
            } else {
                check(readBdd(it.h, new Reading(), what).equals(it.bits), what + ": a held BDD changed");
            }
        }
        for (int k = 0; k < blocks.size(); k++) {
            int[] b = blocks.get(k);
            int lo = Integer.MAX_VALUE;
            int hi = -1;
            for (int v : b) {
                lo = Math.min(lo, level(v));
                hi = Math.max(hi, level(v));
            }
            check(hi - lo + 1 == b.length, what + ": block " + Arrays.toString(b) + " split");
            if (fixedBlocks.get(k)) {
                for (int i = 1; i < b.length; i++) {
                    check(level(b[i]) == level(b[i - 1]) + 1, what + ": fixed block " + Arrays.toString(b) + " reordered");
                }
            }
        }
    }

    private void reorder() {
        BDDFactory.ReorderMethod m = METHODS[random.nextInt(METHODS.length)];
        detail("reorder0(" + m + ")");
        TARNFactory.reorder0(m);
        checkAfterReordering("reorder0(" + m + ")");
    }

    private void autoReorder() {
        BDDFactory.ReorderMethod m = METHODS[random.nextInt(METHODS.length)];
        boolean setMax = random.nextBoolean();
        int max = random.nextInt(20);
        detail("autoReorder0(" + m + ", " + setMax + ", " + max + ")");
        TARNFactory.autoReorder0(m, setMax, max);
        if (m != BDDFactory.REORDER_NONE) {
            check(TARNFactory.getreordermethod0() == m, "getreordermethod0 after autoReorder0");
        }
    }

    private void setOrder() {
        List<Integer> shuffled = new ArrayList<>();
        for (int v = 0; v < vars; v++) {
            shuffled.add(v);
        }
        java.util.Collections.shuffle(shuffled, random);
        int[] wanted = shuffled.stream().mapToInt(Integer::intValue).toArray();
        int[] before = currentOrder();
        detail("setVarOrder0(" + Arrays.toString(wanted) + ")");
        TARNFactory.setVarOrder0(wanted);
        int[] after = currentOrder();
        boolean keepsBlocks = true;
        for (int[] b : blocks) {
            int lo = Integer.MAX_VALUE;
            int hi = -1;
            for (int v : b) {
                int at = shuffled.indexOf(v);
                lo = Math.min(lo, at);
                hi = Math.max(hi, at);
            }
            keepsBlocks &= hi - lo + 1 == b.length;
        }
        check(Arrays.equals(after, keepsBlocks ? wanted : before),
                "setVarOrder0: order " + Arrays.toString(after));
        // an order given explicitly may rearrange the inside of a fixed block
        for (int[] b : blocks) {
            Integer[] boxed = Arrays.stream(b).boxed().toArray(Integer[]::new);
            Arrays.sort(boxed, (x, y) -> Integer.compare(level(x), level(y)));
            for (int i = 0; i < b.length; i++) {
                b[i] = boxed[i];
            }
        }
        checkAfterReordering("setVarOrder0");
    }

    /** A block of consecutive levels that nests with every block made so far (so it is accepted). */
    private void varBlock() {
        int lf = random.nextInt(vars);
        int ll = Math.min(vars - 1, lf + random.nextInt(4));
        int[] order = currentOrder();
        int[] b = Arrays.copyOfRange(order, lf, ll + 1);
        for (int[] other : blocks) {
            int lo = Integer.MAX_VALUE;
            int hi = -1;
            for (int v : other) {
                lo = Math.min(lo, level(v));
                hi = Math.max(hi, level(v));
            }
            boolean disjoint = hi < lf || lo > ll;
            boolean inside = lf >= lo && ll <= hi;
            boolean covers = lf <= lo && ll >= hi;
            if (!disjoint && !inside && !covers) {
                return;
            }
        }
        boolean fixed = random.nextInt(3) == 0;
        detail("addVarBlock0(" + order[lf] + ", " + order[ll] + ", " + fixed + ")");
        TARNFactory.addVarBlock0(order[lf], order[ll], fixed);
        blocks.add(b);
        fixedBlocks.add(fixed);
    }

    private void clearBlocks() {
        TARNFactory.clearVarBlocks0();
        blocks.clear();
        fixedBlocks.clear();
    }

    // ---- entry --------------------------------------------------------------------------------

    /**
     * Runs one seed. Returns null when it passes, otherwise a report: a FAIL line naming the seed
     * and the fault, then the last steps.
     */
    static String runSeed(long seed, int steps) {
        Fuzz fuzz = new Fuzz(seed);
        try {
            fuzz.run(steps);
            return null;
        } catch (RuntimeException | Error e) {
            return "FAIL seed " + seed + " (" + steps + " steps): " + e + "\nlast steps:\n" + fuzz.lastSteps();
        }
    }

    public static void main(String[] args) {
        if (args.length != 4) {
            System.err.println("usage: Fuzz LIBRARY FIRST_SEED SEEDS STEPS");
            System.exit(2);
        }
        TARNFactory.loadLibrary(args[0]);
        long first = Long.parseLong(args[1]);
        int seeds = Integer.parseInt(args[2]);
        int steps = Integer.parseInt(args[3]);
        int failed = 0;
        for (long s = first; s < first + seeds; s++) {
            String report = runSeed(s, steps);
            if (report != null) {
                failed++;
                System.out.println(report);
                System.out.flush();
            }
        }
        System.out.println(failed == 0 ? "fuzz: " + seeds + " seeds of " + steps + " steps passed"
                : "FAIL: " + failed + " of " + seeds + " seeds");
        System.exit(failed == 0 ? 0 : 1);
    }
}
