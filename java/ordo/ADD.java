package ordo;

import java.lang.ref.Reference;

/**
 * An arithmetic decision diagram: a function from assignments of the
 * factory's variables to doubles (with plus and minus infinity). The object
 * owns one reference to its node, like a {@link BDD}; operations return new
 * objects, and the {@code ...With} forms store the result in this object and
 * consume their argument. Two ADDs are {@link #equals equal} exactly when
 * they denote the same function.
 */
public final class ADD extends Owner {
    private static final int TIMES = 10;
    private static final int DIVIDE = 11;
    private static final int PLUS = 12;
    private static final int MINUS = 13;
    private static final int MAX = 14;
    private static final int MIN = 15;

    ADD(long handle) {
        super(handle, TARNFactory.Owned.ADD_NODE);
    }

    @Override
    String what() {
        return "ADD";
    }

    private ADD apply(ADD g, int op) {
        return new ADD(applied(g, op, true));
    }

    /** The result replaces this object's node; g is consumed (both references go in the native call). */
    private ADD applyWith(ADD g, int op) {
        appliedWith(g, op, true);
        return this;
    }

    /**
     * Sum.
     *
     * @param g the other operand
     * @return this + g
     */
    public ADD plus(ADD g) {
        return apply(g, PLUS);
    }

    /**
     * Difference.
     *
     * @param g the other operand
     * @return this - g
     */
    public ADD minus(ADD g) {
        return apply(g, MINUS);
    }

    /**
     * Product.
     *
     * @param g the other operand
     * @return this * g
     */
    public ADD times(ADD g) {
        return apply(g, TIMES);
    }

    /**
     * Quotient.
     *
     * @param g the other operand
     * @return this / g
     */
    public ADD divide(ADD g) {
        return apply(g, DIVIDE);
    }

    /**
     * Pointwise maximum.
     *
     * @param g the other operand
     * @return max(this, g)
     */
    public ADD max(ADD g) {
        return apply(g, MAX);
    }

    /**
     * Pointwise minimum.
     *
     * @param g the other operand
     * @return min(this, g)
     */
    public ADD min(ADD g) {
        return apply(g, MIN);
    }

    /**
     * Sum in place: this becomes this + g, and g is freed.
     *
     * @param g the other operand, consumed (it may be this object)
     * @return this object
     */
    public ADD plusWith(ADD g) {
        return applyWith(g, PLUS);
    }

    /**
     * Product in place: this becomes this * g, and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public ADD timesWith(ADD g) {
        return applyWith(g, TIMES);
    }

    /**
     * Maximum in place: this becomes max(this, g), and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public ADD maxWith(ADD g) {
        return applyWith(g, MAX);
    }

    /**
     * Minimum in place: this becomes min(this, g), and g is freed.
     *
     * @param g the other operand, consumed
     * @return this object
     */
    public ADD minWith(ADD g) {
        return applyWith(g, MIN);
    }

    /**
     * Energy subtraction: max(this - g, 0), and plus infinity where the
     * difference exceeds cap.
     *
     * @param g the other operand
     * @param cap the largest finite result
     * @return the capped difference
     */
    public ADD energyMinus(ADD g, double cap) {
        TARNFactory.releasePending();
        long r = TARNFactory.addEngSubtract0(h(), g.h(), cap);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(g);
        return new ADD(r);
    }

    /**
     * Logical complement of a 0/1 reading.
     *
     * @return 1 where this is 0, and 0 elsewhere
     */
    public ADD not() {
        return unary(TARNFactory.not0(h(), true));
    }

    /**
     * Additive negation.
     *
     * @return -this
     */
    public ADD negate() {
        return unary(TARNFactory.addAdditiveNeg0(h()));
    }

    /**
     * Natural logarithm of every leaf.
     *
     * @return log(this)
     */
    public ADD log() {
        return unary(TARNFactory.addApplyLog0(h()));
    }

    /**
     * Returns the largest leaf.
     *
     * @return a constant ADD
     */
    public ADD findMax() {
        return unary(TARNFactory.addFindMax0(h()));
    }

    /**
     * Returns the smallest leaf.
     *
     * @return a constant ADD
     */
    public ADD findMin() {
        return unary(TARNFactory.addFindMin0(h()));
    }

    private ADD unary(long r) {
        Reference.reachabilityFence(this);
        return new ADD(r);
    }

    /**
     * If-then-else with this as a 0/1 condition.
     *
     * @param thenADD the value where this is not 0
     * @param elseADD the value where this is 0
     * @return the choice, pointwise
     */
    public ADD ite(ADD thenADD, ADD elseADD) {
        TARNFactory.releasePending();
        long r = TARNFactory.ite0(h(), thenADD.h(), elseADD.h(), true);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(thenADD);
        Reference.reachabilityFence(elseADD);
        return new ADD(r);
    }

    /**
     * Determinizes a controller given as a 0/1 ADD, as {@link
     * BDD#determinize(BDD)} does for a BDD: for every assignment of the other
     * variables at which this ADD is nonzero for some assignment of the
     * cube's variables, the result is nonzero at exactly one of those
     * assignments, and it is 0 everywhere else. The kept assignments get
     * the value 1, except where this ADD no longer depends on any output
     * below an input: there the kept assignment (all those outputs 1) keeps
     * this ADD's value. The variable order changes as for the BDD form.
     *
     * @param outputs the output variables, as a 0/1 ADD cube ({@link BDD#toADD()} of a BDD cube)
     * @return the deterministic controller
     * @throws BDDException when outputs is not a cube
     */
    public ADD determinize(ADD outputs) {
        TARNFactory.releasePending();
        long r = TARNFactory.determinizeController0(h(), outputs.h(), true);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(outputs);
        return new ADD(r);
    }

    /**
     * Sums out variables.
     *
     * @param cube the variables, as a 0/1 ADD cube ({@link BDD#toADD()} of a BDD cube)
     * @return the sum of this over all values of those variables
     */
    public ADD sumAbstract(ADD cube) {
        return abstraction(cube, 0);
    }

    /**
     * Abstracts variables keeping the largest value.
     *
     * @param cube the variables, as a 0/1 ADD cube ({@link BDD#toADD()} of a BDD cube)
     * @return the maximum of this over all values of those variables
     */
    public ADD maxAbstract(ADD cube) {
        return abstraction(cube, 1);
    }

    /**
     * Abstracts variables keeping the smallest value.
     *
     * @param cube the variables, as a 0/1 ADD cube ({@link BDD#toADD()} of a BDD cube)
     * @return the minimum of this over all values of those variables
     */
    public ADD minAbstract(ADD cube) {
        return abstraction(cube, 2);
    }

    private ADD abstraction(ADD cube, int kind) {
        TARNFactory.releasePending();
        long f = h();
        long c = cube.h();
        long r = switch (kind) {
            case 0 -> TARNFactory.arithmeticExist0(f, c);
            case 1 -> TARNFactory.addAbstractMax0(f, c);
            default -> TARNFactory.addAbstractMin0(f, c);
        };
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(cube);
        return new ADD(r);
    }

    /**
     * Renames variables as the pairing says.
     *
     * @param pairing a pairing whose entries are variables
     * @return this with every variable v replaced by the pairing's entry for v
     */
    public ADD replace(BDDPairing pairing) {
        TARNFactory.releasePending();
        long r = TARNFactory.replace0(h(), pairing.h(), true);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(pairing);
        return new ADD(r);
    }

    /**
     * Converts to a BDD.
     *
     * @return the BDD of the assignments where this is not 0
     */
    public BDD toBDD() {
        return bdd(TARNFactory.toBDD0(h()));
    }

    /**
     * Converts to a BDD by a threshold.
     *
     * @param t the threshold
     * @return the BDD of the assignments where this is at least t
     */
    public BDD toBDDThreshold(double t) {
        return bdd(TARNFactory.toBDDThreshold(h(), t));
    }

    /**
     * Converts to a BDD by a strict threshold.
     *
     * @param t the threshold
     * @return the BDD of the assignments where this is above t
     */
    public BDD toBDDStrictThreshold(double t) {
        return bdd(TARNFactory.toBDDStrictThreshold(h(), t));
    }

    /**
     * Converts to a BDD by an interval.
     *
     * @param lo the lower bound
     * @param hi the upper bound
     * @return the BDD of the assignments where this lies between lo and hi
     */
    public BDD toBDDInterval(double lo, double hi) {
        return bdd(TARNFactory.toBDDInterval(h(), lo, hi));
    }

    /**
     * Converts to a BDD by one bit of the leaves.
     *
     * @param bit the bit index
     * @return the BDD of the assignments where that bit of the truncated value is set
     */
    public BDD toBDDIthBit(int bit) {
        return bdd(TARNFactory.toBDDIthBit(h(), bit));
    }

    private BDD bdd(long r) {
        Reference.reachabilityFence(this);
        return new BDD(r);
    }

    /**
     * Tells whether this is a constant.
     *
     * @return true for a leaf
     */
    public boolean isConstant() {
        boolean r = TARNFactory.isAddConst0(h());
        Reference.reachabilityFence(this);
        return r;
    }

    /**
     * Returns the value of a constant.
     *
     * @return the leaf value
     * @throws IllegalStateException when this is not a constant
     */
    public double value() {
        if (!isConstant()) {
            throw new IllegalStateException("not a constant ADD");
        }
        double r = TARNFactory.retrieveConstValue0(h());
        Reference.reachabilityFence(this);
        return r;
    }

    /**
     * Counts the decision nodes.
     *
     * @return the number of nodes, the constants not included
     */
    public int nodeCount() {
        TARNFactory.releasePending();
        int r = TARNFactory.nodeCount0(h());
        Reference.reachabilityFence(this);
        return r;
    }

    /**
     * Returns a copy that owns a reference of its own.
     *
     * @return a new object for the same function
     */
    public ADD id() {
        TARNFactory.releasePending();
        long r = h();
        TARNFactory.addRef(r);
        Reference.reachabilityFence(this);
        return new ADD(r);
    }

    /**
     * Tells whether o is an ADD of the same function. A freed ADD equals only itself.
     *
     * @param o another object
     * @return true for the same function
     */
    @Override
    public boolean equals(Object o) {
        if (o == this) {
            return true;
        }
        if (!(o instanceof ADD)) {
            return false;
        }
        long a = state.handle;
        return a != 0 && a == ((ADD) o).state.handle;
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
        return h == 0 ? "ADD(freed)" : String.format("ADD(0x%x)", h);
    }
}
