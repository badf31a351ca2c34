package ordo;

import java.lang.ref.Reference;

/**
 * A binary decision diagram: a Boolean function of the factory's variables.
 * The object owns one reference to its node. Operations return new objects
 * and leave their operands alone, except the {@code ...With} forms, which
 * store the result in this object and consume their argument. Give every
 * object back with {@link #free()} once it is no longer needed; a dropped
 * one is released after the garbage collector has found it.
 *
 * <p>Two BDDs are {@link #equals equal} exactly when they denote the same
 * function.
 */
public final class BDD extends Owner {
    private static final int AND = 0;
    private static final int XOR = 1;
    private static final int OR = 2;
    private static final int IMP = 5;
    private static final int BIIMP = 6;
    private static final int DIFF = 7;

    BDD(long handle) {
        super(handle, TARNFactory.Owned.BDD_NODE);
    }

    @Override
    String what() {
        return "BDD";
    }

    private BDD apply(BDD g, int op) {
        return new BDD(applied(g, op, false));
    }

    /** The result replaces this object's node; g is consumed (both references go in the native call). */
    private BDD applyWith(BDD g, int op) {
        appliedWith(g, op, false);
        return this;
    }

    /**
     * Conjunction.
     *
     * @param g the other operand
     * @return this AND g
     */
    public BDD and(BDD g) {
        return apply(g, AND);
    }

    /**
     * Disjunction.
     *
     * @param g the other operand
     * @return this OR g
     */
    public BDD or(BDD g) {
        return apply(g, OR);
    }

    /**
     * Exclusive or.
     *
     * @param g the other operand
     * @return this XOR g
     */
    public BDD xor(BDD g) {
        return apply(g, XOR);
    }

    /**
     * Implication.
     *
     * @param g the other operand
     * @return NOT this OR g
     */
    public BDD imp(BDD g) {
        return apply(g, IMP);
    }

    /**
     * Equivalence.
     *
     * @param g the other operand
     * @return this IFF g
     */
    public BDD biimp(BDD g) {
        return apply(g, BIIMP);
    }

    /**
     * Difference.
     *
     * @param g the other operand
     * @return this AND NOT g
     */
    public BDD diff(BDD g) {
        return apply(g, DIFF);
    }

    /**
     * Conjunction in place: this becomes this AND g, and g is freed.
     *
     * @param g the other operand, consumed (it may be this object)
     * @return this object
     */
    public BDD andWith(BDD g) {
        return applyWith(g, AND);
    }

    /**
     * Disjunction in place: this becomes this OR g, and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public BDD orWith(BDD g) {
        return applyWith(g, OR);
    }

    /**
     * Exclusive or in place: this becomes this XOR g, and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public BDD xorWith(BDD g) {
        return applyWith(g, XOR);
    }

    /**
     * Implication in place: this becomes NOT this OR g, and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public BDD impWith(BDD g) {
        return applyWith(g, IMP);
    }

    /**
     * Equivalence in place: this becomes this IFF g, and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public BDD biimpWith(BDD g) {
        return applyWith(g, BIIMP);
    }

    /**
     * Difference in place: this becomes this AND NOT g, and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public BDD diffWith(BDD g) {
        return applyWith(g, DIFF);
    }

    /**
     * Negation.
     *
     * @return NOT this
     */
    public BDD not() {
        TARNFactory.releasePending();
        long r = TARNFactory.not0(h(), false);
        Reference.reachabilityFence(this);
        return new BDD(r);
    }

    /**
     * If-then-else.
     *
     * @param thenBDD the value where this is true
     * @param elseBDD the value where this is false
     * @return (this AND thenBDD) OR (NOT this AND elseBDD)
     */
    public BDD ite(BDD thenBDD, BDD elseBDD) {
        TARNFactory.releasePending();
        long r = TARNFactory.ite0(h(), thenBDD.h(), elseBDD.h(), false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(thenBDD);
        Reference.reachabilityFence(elseBDD);
        return new BDD(r);
    }

    /**
     * Existential quantification.
     *
     * @param cube the variables to abstract, as a conjunction of positive literals
     * @return this with the variables of cube abstracted existentially
     */
    public BDD exist(BDD cube) {
        TARNFactory.releasePending();
        long r = TARNFactory.exist0(h(), cube.h(), false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(cube);
        return new BDD(r);
    }

    /**
     * Universal quantification.
     *
     * @param cube the variables to abstract, as a conjunction of positive literals
     * @return this with the variables of cube abstracted universally
     */
    public BDD forAll(BDD cube) {
        TARNFactory.releasePending();
        long r = TARNFactory.forAll0(h(), cube.h(), false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(cube);
        return new BDD(r);
    }

    /**
     * Relational product: conjunction and existential quantification in one pass.
     *
     * @param g the other operand
     * @param cube the variables to abstract
     * @return EXISTS cube . (this AND g)
     */
    public BDD relprod(BDD g, BDD cube) {
        TARNFactory.releasePending();
        long r = TARNFactory.relprod0(h(), g.h(), cube.h());
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(g);
        Reference.reachabilityFence(cube);
        return new BDD(r);
    }

    /**
     * Determinizes a controller: this BDD is read as a relation between the
     * cube's variables (the outputs) and all other variables (the inputs).
     * The result keeps, for every input assignment at which this relation
     * allows some output, exactly one of the allowed output assignments, and
     * is false at every input that allows none. So it implies this BDD and
     * has the same inputs.
     *
     * <p>The variable order changes: the cube's variables are moved below all
     * other variables, and then the variables are reordered once more by the
     * last method other than {@code REORDER_NONE} given to {@link
     * TARNFactory#autoReorder} (sifting when none was given, even while
     * automatic reordering is off), which may move some of them up again.
     *
     * @param outputs the output variables, as a conjunction of positive literals
     * @return the deterministic controller
     * @throws BDDException when outputs is not a conjunction of positive literals
     */
    public BDD determinize(BDD outputs) {
        TARNFactory.releasePending();
        long r = TARNFactory.determinizeController0(h(), outputs.h(), false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(outputs);
        return new BDD(r);
    }

    /**
     * Renames variables as the pairing says.
     *
     * @param pairing a pairing whose entries are variables
     * @return this with every variable v replaced by the pairing's entry for v
     */
    public BDD replace(BDDPairing pairing) {
        TARNFactory.releasePending();
        long r = TARNFactory.replace0(h(), pairing.h(), false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(pairing);
        return new BDD(r);
    }

    /**
     * Renames variables in place: this becomes {@code replace(pairing)}.
     *
     * @param pairing a pairing whose entries are variables
     * @return this object
     */
    public BDD replaceWith(BDDPairing pairing) {
        TARNFactory.releasePending();
        long a = h();
        long r;
        try {
            r = TARNFactory.replaceWith0(a, pairing.h(), false);
        } catch (RuntimeException | Error e) {
            consumed();
            throw e;
        } finally {
            Reference.reachabilityFence(pairing);
        }
        state.handle = r;
        return this;
    }

    /**
     * Substitutes a function for one variable.
     *
     * @param g the function put in place of var
     * @param var the variable index
     * @return this with var replaced by g
     */
    public BDD compose(BDD g, int var) {
        TARNFactory.releasePending();
        long r = TARNFactory.compose0(h(), g.h(), var, false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(g);
        return new BDD(r);
    }

    /**
     * Substitutes every variable by its function in the pairing, all at once.
     *
     * @param pairing a pairing whose entries are functions
     * @return the simultaneous substitution
     */
    public BDD veccompose(BDDPairing pairing) {
        TARNFactory.releasePending();
        long r = TARNFactory.veccompose0(h(), pairing.h(), false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(pairing);
        return new BDD(r);
    }

    /**
     * Cofactor by a cube of literals.
     *
     * @param cube a conjunction of literals
     * @return this with the variables of cube fixed as cube fixes them
     */
    public BDD restrict(BDD cube) {
        TARNFactory.releasePending();
        long r = TARNFactory.restrict0(h(), cube.h());
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(cube);
        return new BDD(r);
    }

    /**
     * Cofactor in place: this becomes {@code restrict(cube)}, and cube is freed.
     *
     * @param cube a conjunction of literals, consumed (it may be this object)
     * @return this object
     */
    public BDD restrictWith(BDD cube) {
        TARNFactory.releasePending();
        long a = h();
        long c = cube.h();
        boolean same = cube == this;
        long r;
        try {
            r = TARNFactory.restrictWith0(a, c, !same);
        } catch (RuntimeException | Error e) {
            consumed();
            cube.consumed();
            throw e;
        }
        state.handle = r;
        if (!same) {
            cube.consumed();
        }
        return this;
    }

    /**
     * Simplifies with a care set.
     *
     * @param care the assignments that matter
     * @return a diagram, never larger than this, that agrees with this wherever care holds
     */
    public BDD simplify(BDD care) {
        TARNFactory.releasePending();
        long r = TARNFactory.simplify0(h(), care.h(), false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(care);
        return new BDD(r);
    }

    /**
     * Counts satisfying assignments over all variables of the factory.
     *
     * @return the number of satisfying assignments, or -1 when it cannot be counted
     */
    public double satCount() {
        TARNFactory.releasePending();
        double r = TARNFactory.satCount0(h());
        Reference.reachabilityFence(this);
        return r;
    }

    /**
     * Returns one satisfying assignment.
     *
     * @return a cube of literals that implies this; zero when this is zero
     */
    public BDD satOne() {
        TARNFactory.releasePending();
        long r = TARNFactory.satOne0(h(), false);
        Reference.reachabilityFence(this);
        return new BDD(r);
    }

    /**
     * Counts the paths to the constant one.
     *
     * @return the number of paths
     */
    public double pathCount() {
        TARNFactory.releasePending();
        double r = TARNFactory.pathCount0(h());
        Reference.reachabilityFence(this);
        return r;
    }

    /**
     * Counts the decision nodes.
     *
     * @return the number of nodes, the constant not included
     */
    public int nodeCount() {
        TARNFactory.releasePending();
        int r = TARNFactory.nodeCount0(h());
        Reference.reachabilityFence(this);
        return r;
    }

    /**
     * Returns the variables this depends on.
     *
     * @return the conjunction of those variables
     */
    public BDD support() {
        TARNFactory.releasePending();
        long r = TARNFactory.support0(h(), false);
        Reference.reachabilityFence(this);
        return new BDD(r);
    }

    /** Prints a summary and the satisfying paths to standard output. */
    public void printSet() {
        TARNFactory.releasePending();
        TARNFactory.printSet0(h(), 2);
        Reference.reachabilityFence(this);
    }

    /**
     * Tells whether this is the constant true.
     *
     * @return true for the constant one
     */
    public boolean isOne() {
        return h() == TARNFactory.one;
    }

    /**
     * Tells whether this is the constant false.
     *
     * @return true for the constant zero
     */
    public boolean isZero() {
        return h() == TARNFactory.zero;
    }

    /**
     * Returns the variable at the top of the diagram.
     *
     * @return the variable index, or {@link Integer#MAX_VALUE} for a constant
     */
    public int var() {
        int r = TARNFactory.var0(h());
        Reference.reachabilityFence(this);
        return r;
    }

    /**
     * Returns the cofactor where the top variable is false.
     *
     * @return the else-branch
     * @throws IllegalStateException for a constant
     */
    public BDD low() {
        return child(false);
    }

    /**
     * Returns the cofactor where the top variable is true.
     *
     * @return the then-branch
     * @throws IllegalStateException for a constant
     */
    public BDD high() {
        return child(true);
    }

    private BDD child(boolean high) {
        TARNFactory.releasePending();
        long r = high ? TARNFactory.high0(h(), false) : TARNFactory.low0(h(), false);
        Reference.reachabilityFence(this);
        if (r == -1) {
            throw new IllegalStateException("a constant has no children");
        }
        return new BDD(r);
    }

    /**
     * Returns a copy that owns a reference of its own.
     *
     * @return a new object for the same function
     */
    public BDD id() {
        TARNFactory.releasePending();
        long r = h();
        TARNFactory.addRef(r);
        Reference.reachabilityFence(this);
        return new BDD(r);
    }

    /**
     * Converts to a 0/1 ADD.
     *
     * @return the ADD that is 1 where this is true and 0 elsewhere
     */
    public ADD toADD() {
        TARNFactory.releasePending();
        long r = TARNFactory.toADD0(h());
        Reference.reachabilityFence(this);
        return new ADD(r);
    }

    /**
     * Tells whether o is a BDD of the same function. A freed BDD equals only itself.
     *
     * @param o another object
     * @return true for the same function
     */
    @Override
    public boolean equals(Object o) {
        if (o == this) {
            return true;
        }
        if (!(o instanceof BDD)) {
            return false;
        }
        long a = state.handle;
        return a != 0 && a == ((BDD) o).state.handle;
    }

    /**
     * A hash of the function; it changes when a {@code ...With} form changes this object.
     *
     * @return the hash code
     */
    @Override
    public int hashCode() {
        return Long.hashCode(state.handle);
    }

    /**
     * Describes the node.
     *
     * @return a short description
     */
    @Override
    public String toString() {
        long h = state.handle;
        if (h == 0) {
            return "BDD(freed)";
        }
        if (h == TARNFactory.one) {
            return "BDD(one)";
        }
        if (h == TARNFactory.zero) {
            return "BDD(zero)";
        }
        return String.format("BDD(0x%x)", h);
    }
}
