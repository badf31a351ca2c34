package ordo;

/**
 * A decision-diagram factory: the manager that owns every {@link BDD} made
 * through it, with its variables, pairings, reordering control and
 * statistics. {@link TARNFactory#init(int, int)} returns the one factory of
 * the process.
 *
 * <p>It also holds the reordering methods that callers can name; the native
 * library reads the eight constants below by field name and compares the
 * objects by identity, so each method exists exactly once.
 */
public abstract class BDDFactory implements AutoCloseable {

    /** A variable reordering method, identified by its object identity. */
    public static final class ReorderMethod {
        private final String name;

        private ReorderMethod(String name) {
            this.name = name;
        }

        /** The method's name, as used in reports. */
        public String name() {
            return name;
        }

        @Override
        public String toString() {
            return name;
        }
    }

    /** No reordering; as the automatic method it switches automatic reordering off. */
    public static final ReorderMethod REORDER_NONE = new ReorderMethod("NONE");
    /** Random swaps of pairs of levels. */
    public static final ReorderMethod REORDER_RANDOM = new ReorderMethod("RANDOM");
    /** Sifting: every variable moved through all levels once. */
    public static final ReorderMethod REORDER_SIFT = new ReorderMethod("SIFT");
    /** Sifting repeated until the size stops improving. */
    public static final ReorderMethod REORDER_SIFTITE = new ReorderMethod("SIFTITE");
    /** Permutations of windows of two adjacent levels. */
    public static final ReorderMethod REORDER_WIN2 = new ReorderMethod("WIN2");
    /** Windows of two levels, repeated until the size stops improving. */
    public static final ReorderMethod REORDER_WIN2ITE = new ReorderMethod("WIN2ITE");
    /** Permutations of windows of three adjacent levels. */
    public static final ReorderMethod REORDER_WIN3 = new ReorderMethod("WIN3");
    /** Windows of three levels, repeated until the size stops improving. */
    public static final ReorderMethod REORDER_WIN3ITE = new ReorderMethod("WIN3ITE");

    /** Only subclasses create factories. */
    protected BDDFactory() {
    }

    /**
     * Shuts the factory down: every node and pairing made through it becomes
     * unusable and the native manager is destroyed.
     */
    public abstract void done();

    /** The same as {@link #done()}, for try-with-resources. */
    @Override
    public void close() {
        done();
    }

    /**
     * Sets the number of variables. The count only grows.
     *
     * @param num the new number of variables, at least the current one
     * @return the previous number of variables
     * @throws IllegalArgumentException when num is below 1 or below the current count
     */
    public abstract int setVarNum(int num);

    /**
     * Returns the number of variables.
     *
     * @return the variable count
     */
    public abstract int varNum();

    /**
     * Returns the BDD of variable var, creating the variables up to var when missing.
     *
     * @param var a variable index
     * @return the function that is true exactly when var is true
     */
    public abstract BDD ithVar(int var);

    /**
     * Returns the negated BDD of variable var.
     *
     * @param var a variable index
     * @return the function that is true exactly when var is false
     */
    public abstract BDD nithVar(int var);

    /**
     * Returns the constant true.
     *
     * @return a new BDD of the constant one
     */
    public abstract BDD one();

    /**
     * Returns the constant false.
     *
     * @return a new BDD of the constant zero
     */
    public abstract BDD zero();

    /**
     * Makes a pairing that maps every variable to itself, for {@link BDD#replace}
     * and {@link BDD#veccompose}.
     *
     * @return a new pairing, to be given back with {@link BDDPairing#free()}
     */
    public abstract BDDPairing makePair();

    /**
     * Reorders the variables now.
     *
     * @param method the reordering method
     */
    public abstract void reorder(ReorderMethod method);

    /**
     * Sets the method of automatic reordering; {@link #REORDER_NONE} switches it off.
     *
     * @param method the reordering method
     */
    public abstract void autoReorder(ReorderMethod method);

    /**
     * Sets the method of automatic reordering with a budget of reorderings.
     *
     * @param method the reordering method
     * @param max the number of automatic reorderings allowed
     */
    public abstract void autoReorder(ReorderMethod method, int max);

    /**
     * Sets the variable order.
     *
     * @param order the variable index at every level, one entry per variable
     */
    public abstract void setVarOrder(int[] order);

    /**
     * Keeps the variables first to last together when reordering.
     *
     * @param first the first variable index of the block
     * @param last the last variable index of the block
     * @param fixed true when the order inside the block must not change
     */
    public abstract void addVarBlock(int first, int last, boolean fixed);

    /** Puts every variable in a block of its own. */
    public abstract void varBlockAll();

    /** Prints the variable order, with its blocks, to standard output. */
    public abstract void printOrder();

    /**
     * Returns the number of live nodes, after releasing the nodes that were
     * collected as garbage by the Java virtual machine.
     *
     * @return the live node count
     */
    public abstract int getNodeNum();

    /**
     * Returns the number of computed-table entries.
     *
     * @return the computed-table size
     */
    public abstract int getCacheSize();

    /** Prints the manager's statistics to standard output. */
    public abstract void printStat();
}
