package ordo;

/**
 * Java face of the native tarn library. Every method is a static native
 * method of this class; the library keeps one decision-diagram manager per
 * process, created by {@link #initialize0} and destroyed by {@link #done0}.
 *
 * <p>Diagrams cross the boundary as {@code long} node handles: the address of
 * a node with bit 0 as the complement mark. The handle 0 means no node and -1
 * stands for a missing child. Every handle returned by a native method carries
 * one reference that the caller gives back with {@link #delRef}. Arguments
 * named {@code pairing} are the addresses of pairing records made by
 * {@link #alloc}. {@code isAdd} tells whether the diagrams are arithmetic (ADD)
 * rather than Boolean (BDD) diagrams.
 *
 * <p>Call {@link #loadLibrary(String)} or {@link #loadLibrary()} once before
 * any native method. Native methods that the loaded library does not provide
 * raise {@link UnsatisfiedLinkError} when called.
 */
public final class TARNFactory extends BDDFactory {

    /** Handle of the constant one, written by {@link #initialize0}. */
    public static long one;
    /** Handle of the logical zero (the complement of one), written by {@link #initialize0}. */
    public static long zero;
    /** Handle of the arithmetic zero constant, written by {@link #initialize0}. */
    public static long addZero;
    /** Address of the native manager, written by {@link #initialize0}. */
    public static long info;

    private static boolean loaded;

    private TARNFactory() {
    }

    /**
     * Loads the native library from an absolute file path and registers it.
     * Does nothing when a library has already been loaded.
     *
     * @param path absolute path of the shared library file
     */
    public static synchronized void loadLibrary(String path) {
        if (loaded) {
            return;
        }
        System.load(path);
        registerNatives();
        loaded = true;
    }

    /**
     * Loads the native library named "tarn" from {@code java.library.path}
     * and registers it. Does nothing when a library has already been loaded.
     */
    public static synchronized void loadLibrary() {
        if (loaded) {
            return;
        }
        System.loadLibrary("tarn");
        registerNatives();
        loaded = true;
    }

    // Life cycle, variables, references and pairing records

    /** Records the identities of the reordering-method constants of {@link BDDFactory}. */
    private static native void registerNatives();

    /** Creates the manager with the given unique-table and computed-table sizes; does nothing when one exists. */
    public static native void initialize0(int nodenum, int cachesize);

    /** Tells whether a manager exists. */
    public static native boolean isInitialized0();

    /** Releases pairing records, constants and solver memories, then destroys the manager. */
    public static native void done0();

    /** Grows the variable count to num (extending every pairing record) and returns the previous count. */
    public static native int setVarNum0(int num, boolean isAdd);

    /** Returns the number of variables. */
    public static native int varNum0();

    /** Returns the projection function of variable var, creating missing variables; 0 for an index too large. */
    public static native long ithVar0(int var, boolean isAdd);

    /** Returns the variable index of the top node of f (2147483647 for a constant). */
    public static native int var0(long f);

    /** Returns the variable at the given level, or -1 for a level outside the order. */
    public static native int level2Var0(int level);

    /** Returns the level of the given variable, or -1 for an index outside the range. */
    public static native int var2Level0(int var);

    /** Returns the else-child of f, or -1 when f is a constant. */
    public static native long low0(long f, boolean isAdd);

    /** Returns the then-child of f, or -1 when f is a constant. */
    public static native long high0(long f, boolean isAdd);

    /** Returns the logical zero. */
    public static native long logicZero0();

    /** Adds one reference to f; ignores 0 and -1. */
    public static native void addRef(long f);

    /** Drops one reference of f, never the last one of a constant; ignores 0 and -1. */
    public static native void delRef(long f, boolean isAdd);

    /** Makes a pairing record mapping every variable to itself; returns its address, or 0. */
    public static native long alloc(boolean isAdd);

    /** Resets every entry of a pairing record to the variable's own projection function. */
    public static native void reset0(long pairing, boolean isAdd);

    /** Releases the entries of a pairing record and frees it. */
    public static native void free0(long pairing);

    // Counters and report

    /** Returns the number of computed-table entries. */
    public static native int getCacheSize0();

    /** Prints the manager's statistics to standard output. */
    public static native void printStat0();

    /** Returns the number of live nodes. */
    public static native int getNodeNum0();

    /** Returns the number of node slots allocated in node blocks so far. */
    public static native int getAllocNum0();

    // Boolean connectives

    /** Combines a and b with the operator code op, optionally releasing a (and then b). */
    public static native long apply0(long a, long b, int op, boolean isAdd, boolean releaseA, boolean releaseB);

    /** Returns if f then g else h. */
    public static native long ite0(long f, long g, long h, boolean isAdd);

    /** Returns the negation (for ADDs, one where f is zero and zero elsewhere). */
    public static native long not0(long f, boolean isAdd);

    /** Tells whether two BDDs denote the same function. */
    public static native boolean equalBDDs0(long a, long b);

    // Quantification

    /** Abstracts the variables of cube from f existentially. */
    public static native long exist0(long f, long cube, boolean isAdd);

    /** Abstracts the variables of cube from f universally. */
    public static native long forAll0(long f, long cube, boolean isAdd);

    /** Conjoins f and g and abstracts the variables of cube existentially in one pass. */
    public static native long relprod0(long f, long g, long cube);

    // Substitution

    /** Substitutes g for variable var in f. */
    public static native long compose0(long f, long g, int var, boolean isAdd);

    /** Renames the variables of f as the pairing record says. */
    public static native long replace0(long f, long pairing, boolean isAdd);

    /** Renames the variables of f as the pairing record says, then releases f. */
    public static native long replaceWith0(long f, long pairing, boolean isAdd);

    /** Substitutes every variable of f by its function in the pairing record at once. */
    public static native long veccompose0(long f, long pairing, boolean isAdd);

    /** Sets entry index of a pairing record to the projection function of variable var. */
    public static native void set0(long pairing, int index, int var, boolean isAdd);

    /** Sets entry index of a pairing record to the given diagram. */
    public static native void set2(long pairing, int index, long node);

    // Cofactors

    /** Returns the cofactor of f by the cube of literals c. */
    public static native long restrict0(long f, long c);

    /** Returns the cofactor of f by the cube c, then releases f and, if asked, c. */
    public static native long restrictWith0(long f, long c, boolean releaseC);

    /** Returns a small diagram that agrees with f wherever the care set c holds. */
    public static native long simplify0(long f, long c, boolean isAdd);

    // Counting, cubes and support

    /** Returns the number of nodes of f, its constant included. */
    public static native int getSize0(long f);

    /** Returns the number of nodes of f minus one. */
    public static native int nodeCount0(long f);

    /** Returns the number of paths of f. */
    public static native double pathCount0(long f);

    /** Returns the number of satisfying assignments of f over all variables. */
    public static native double satCount0(long f);

    /** Returns one satisfying assignment of f as a cube. */
    public static native long satOne0(long f, boolean isAdd);

    /** Returns the cube of the variables that f depends on. */
    public static native long support0(long f, boolean isAdd);

    /** Returns, per variable index, 1 when f depends on the variable and 0 otherwise. */
    public static native int[] varSupportIndex0(long f);

    /** Prints the nodes of f to standard output. */
    public static native void printDot0(long f);

    /** Prints a summary of f at the given detail level and returns the print status. */
    public static native int printSet0(long f, int level);

    // ADD constants and operators

    /** Returns the ADD constant of value v. */
    public static native long addConst0(double v);

    /** Returns the natural logarithm of every leaf of f. */
    public static native long addApplyLog0(long f);

    /** Returns the additive negation of every leaf of f. */
    public static native long addAdditiveNeg0(long f);

    /** Returns f minus g in energy arithmetic: negative differences become 0, differences above cap plus infinity. */
    public static native long addEngSubtract0(long f, long g, double cap);

    /** Returns f with every leaf equal to v replaced by minus infinity. */
    public static native long addMinimizeVal0(long f, double v);

    /** Returns the largest leaf of f. */
    public static native long addFindMax0(long f);

    /** Returns the smallest leaf of f. */
    public static native long addFindMin0(long f);

    /** Returns the arithmetic zero constant. */
    public static native long arithmeticZero0();

    /** Returns the constant one as an ADD. */
    public static native long arithmeticLogicOne0();

    /** Returns the plus-infinity constant. */
    public static native long arithmeticPlusInfinity0();

    /** Returns the minus-infinity constant. */
    public static native long arithmeticMinusInfinity0();

    /** Tells whether f is an ADD constant. */
    public static native boolean isAddConst0(long f);

    /** Returns the value of the ADD constant f. */
    public static native double retrieveConstValue0(long f);

    // ADD abstraction

    /** Abstracts the variables of cube from f, keeping the largest leaf. */
    public static native long addAbstractMax0(long f, long cube);

    /** Abstracts the variables of cube from f, keeping the smallest leaf. */
    public static native long addAbstractMin0(long f, long cube);

    /** Abstracts the variables of cube from f by summing the leaves. */
    public static native long arithmeticExist0(long f, long cube);

    // Conversions between ADDs and BDDs

    /** Converts the BDD f into a 0/1 ADD. */
    public static native long toADD0(long f);

    /** Returns the BDD of the assignments where the ADD f is not zero. */
    public static native long toBDD0(long f);

    /** Returns the BDD of the assignments where the ADD f is at least t. */
    public static native long toBDDThreshold(long f, double t);

    /** Returns the BDD of the assignments where the ADD f is above t. */
    public static native long toBDDStrictThreshold(long f, double t);

    /** Returns the BDD of the assignments where the ADD f lies between lo and hi. */
    public static native long toBDDInterval(long f, double lo, double hi);

    /** Returns the BDD of the assignments where bit i of the truncated leaf of f is set. */
    public static native long toBDDIthBit(long f, int i);

    /** Returns the 0/1 ADD that is 1 where f is below (kind 1), above (2), at most (3) or at least (4) t. */
    public static native long convertToZeroOneADDByThres0(long f, long kind, double t);

    /** Tells whether every leaf of the ADD f is 0 or 1. */
    public static native boolean isZeroOneADD0(long f);

    // Variable ordering

    /** Reorders the variables now with the given method. */
    public static native void reorder0(BDDFactory.ReorderMethod method);

    /** Sets the automatic reordering method (NONE switches it off), optionally with a budget of reorderings. */
    public static native void autoReorder0(BDDFactory.ReorderMethod method, boolean setMax, int max);

    /** Switches automatic reordering on with the current method. */
    public static native void autoReorder1();

    /** Returns the automatic reordering method. */
    public static native BDDFactory.ReorderMethod getreordermethod0();

    /** Returns the milliseconds spent reordering so far. */
    public static native int reorderTimes0();

    /** Switches the reordering report on (v non-zero) or off and returns the previous state. */
    public static native int reorderVerbose0(int v);

    /** Sets the variable order; order lists the variable index at every level. */
    public static native void setVarOrder0(int[] order);

    // Variable blocks

    /** Keeps the variables from first to last together when reordering, optionally fixed inside. */
    public static native void addVarBlock0(int first, int last, boolean fixed);

    /** Drops every variable block. */
    public static native void clearVarBlocks0();

    /** Prints the variable order with its blocks to standard output. */
    public static native void printVarTree0();

    // Game solver memories

    /** Returns the per-justice iteration counts of the last GR(1) solve. */
    public static native int[] getAttrSizes0();

    /** Returns the X iterates of the last GR(1) solve, flattened. */
    public static native long[] getXMem0();

    /** Returns the Y iterates of the last GR(1) solve, flattened. */
    public static native long[] getYMem0();

    /** Returns the Z value per system justice of the last GR(1) solve. */
    public static native long[] getZMem0();

    /** Returns the first-iteration Z value per system justice of the last incremental GR(1) solve. */
    public static native long[] getZMemFirstItr0();

    /** Returns the number of Z entries of the last Rabin solve. */
    public static native int getRabinZSize0();

    /** Returns the Z entries of the last Rabin solve. */
    public static native long[] getRabinZMem0();

    /** Returns the X iterate counts per Z entry and environment justice of the last Rabin solve. */
    public static native int[] getRabinXSizes0();

    /** Returns the X iterates of the last Rabin solve, flattened. */
    public static native long[] getRabinXMem0();

    // Game solvers

    /** Solves a GR(1) game; returns 1 when the system wins from all initial states, 0 when not, 255 on error. */
    public static native byte gr1Game0(long[] sysJ, long[] envJ, long sysIni, long envIni, long sysTrans,
            long envTrans, long sysVars, long envVars, long sysPrimeVars, long envPrimeVars, long pairing,
            boolean efp, boolean eun, boolean fpr);

    /** Solves a GR(1) game starting from the memory of an earlier solve; results as {@link #gr1Game0}. */
    public static native byte gr1GameInc0(long[] sysJ, long[] envJ, long sysIni, long envIni, long sysTrans,
            long envTrans, long sysVars, long envVars, long sysPrimeVars, long envPrimeVars, long pairing,
            boolean efp, boolean eun, boolean fpr, int incType, long startZ, long[] zMem, long[] zMemFirstItr,
            long[] xMem, int leastRemovedJustice, int sizeD1, int sizeD2, int[] sizeD3);

    /** Solves a Rabin game; returns 1 when the environment wins from some initial state, 0 when not, 255 on error. */
    public static native byte rabinGame0(long[] sysJ, long[] envJ, long sysIni, long envIni, long sysTrans,
            long envTrans, long sysVars, long envVars, long sysPrimeVars, long envPrimeVars, long pairing,
            boolean efp, boolean eun, boolean fpr);

    /** Solves a Rabin game starting from the memory of an earlier solve; results as {@link #rabinGame0}. */
    public static native byte rabinGameInc0(long[] sysJ, long[] envJ, long sysIni, long envIni, long sysTrans,
            long envTrans, long sysVars, long envVars, long sysPrimeVars, long envPrimeVars, long pairing,
            boolean efp, boolean eun, boolean fpr, int incType, long startZ, long[] zMem, long[] xMem,
            int leastRemovedJustice, int sizeD1, int sizeD2, int[] sizeD3);

    /** Keeps exactly one allowed assignment of the cube's variables for every input that f allows. */
    public static native long determinizeController0(long f, long cube, boolean isAdd);

    /** Tells whether the weighted transition ADD trans lets state values decrease without end. */
    public static native boolean negCycleCheck0(long trans, long curS, long primeCube, long pairing);
}
