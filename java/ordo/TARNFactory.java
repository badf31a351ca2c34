package ordo;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.lang.ref.Cleaner;
import java.lang.ref.Reference;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.concurrent.ConcurrentLinkedQueue;

/**
 * Java face of the native tarn library, at two levels.
 *
 * <p>The object level: {@link #init(int, int)} loads the library (from the
 * file named by the system property {@code tarn.library}, else from the copy
 * inside tarn.jar) and returns the factory, whose {@link BDD}, {@link ADD}
 * and {@link BDDPairing} objects each own their native resources. Give them
 * back with {@code free()}; a forgotten object is released after the Java
 * garbage collector has found it, at the next call into the factory.
 *
 * <p>The native level: every static native method of this class is an entry
 * point of the library, which keeps one decision-diagram manager per
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

    /** The factory of the process: the library keeps one manager. */
    private static final TARNFactory INSTANCE = new TARNFactory();

    /** Finds node and pairing objects that the program dropped without freeing them. */
    private static final Cleaner CLEANER = Cleaner.create();

    /**
     * Handles of dropped objects, queued by the cleaner thread and released by
     * the next call into the factory, so that no release runs beside an
     * operation that walks the diagrams.
     */
    private static final ConcurrentLinkedQueue<Owned> PENDING = new ConcurrentLinkedQueue<>();

    /** Counts the managers shut down: objects of an older manager are dead. */
    private static volatile int generation;

    private TARNFactory() {
    }

    /**
     * Starts the manager and returns the factory. Loads the native library
     * first when needed: from the file named by the system property
     * {@code tarn.library} when it is set, else from the copy carried by
     * tarn.jar, else the library "tarn" from {@code java.library.path}. When a
     * manager already runs, returns the factory unchanged.
     *
     * @param nodes initial number of buckets of each unique subtable
     * @param cache requested number of computed-table entries
     * @return the factory
     */
    public static TARNFactory init(int nodes, int cache) {
        ensureLoaded();
        initialize0(nodes, cache);
        return INSTANCE;
    }

    /**
     * Loads the native library the way {@link #init(int, int)} does, without
     * starting a manager. Does nothing when a library has been loaded.
     */
    public static synchronized void ensureLoaded() {
        if (loaded) {
            return;
        }
        String path = System.getProperty("tarn.library");
        if (path != null) {
            loadLibrary(path);
            return;
        }
        try (InputStream in = TARNFactory.class.getResourceAsStream("libtarn.so")) {
            if (in == null) {
                loadLibrary();
                return;
            }
            // A private directory, so that nobody else can swap the file before it is loaded;
            // the mapping stays valid after the file is deleted.
            Path dir = Files.createTempDirectory("tarn",
                    PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwx------")));
            Path lib = dir.resolve("libtarn.so");
            try {
                Files.copy(in, lib, StandardCopyOption.REPLACE_EXISTING);
                loadLibrary(lib.toAbsolutePath().toString());
            } finally {
                Files.deleteIfExists(lib);
                Files.deleteIfExists(dir);
            }
        } catch (IOException e) {
            throw new UncheckedIOException("cannot extract libtarn.so from the jar", e);
        }
    }

    /** Shuts the manager down; every object made through the factory becomes unusable. */
    @Override
    public void done() {
        synchronized (TARNFactory.class) {
            generation++;
            PENDING.clear();
        }
        done0();
    }

    /**
     * Tells whether the manager runs.
     *
     * @return true between {@link #init(int, int)} and {@link #done()}
     */
    public boolean isInitialized() {
        return isInitialized0();
    }

    @Override
    public int setVarNum(int num) {
        return setVarNum0(num, false);
    }

    @Override
    public int varNum() {
        return varNum0();
    }

    @Override
    public BDD ithVar(int var) {
        return new BDD(checkedVar(ithVar0(checkVar(var), false)));
    }

    @Override
    public BDD nithVar(int var) {
        BDD v = ithVar(var);
        v.state.handle = swapForNot(v.state.handle);
        return v;
    }

    @Override
    public BDD one() {
        releasePending();
        addRef(one);
        return new BDD(one);
    }

    @Override
    public BDD zero() {
        releasePending();
        addRef(zero);
        return new BDD(zero);
    }

    @Override
    public BDDPairing makePair() {
        return newPairing(false);
    }

    /**
     * Makes a pairing for ADDs: every entry is an ADD projection function.
     *
     * @return a new pairing, to be given back with {@link BDDPairing#free()}
     */
    public BDDPairing makeAddPair() {
        return newPairing(true);
    }

    private static BDDPairing newPairing(boolean isAdd) {
        releasePending();
        long address = alloc(isAdd);
        if (address == 0) {
            throw new BDDException("no memory for a pairing record");
        }
        return new BDDPairing(address, isAdd);
    }

    /**
     * Returns the ADD of variable var: 1 where var is true, 0 elsewhere.
     *
     * @param var a variable index
     * @return the ADD projection function of var
     */
    public ADD addIthVar(int var) {
        return new ADD(checkedVar(ithVar0(checkVar(var), true)));
    }

    /**
     * Returns the ADD constant of the given value.
     *
     * @param value the leaf value; 1e151 and above stand for plus infinity
     * @return the constant
     */
    public ADD constant(double value) {
        releasePending();
        return new ADD(addConst0(value));
    }

    /**
     * Returns the ADD constant plus infinity.
     *
     * @return the constant
     */
    public ADD plusInfinity() {
        releasePending();
        return new ADD(arithmeticPlusInfinity0());
    }

    /**
     * Returns the ADD constant minus infinity.
     *
     * @return the constant
     */
    public ADD minusInfinity() {
        releasePending();
        return new ADD(arithmeticMinusInfinity0());
    }

    /**
     * Returns the conjunction of the given variables, the form that
     * quantification and the game solvers take as a variable set.
     *
     * @param vars variable indices
     * @return the positive cube of vars
     */
    public BDD makeSet(int... vars) {
        BDD cube = one();
        for (int v : vars) {
            cube.andWith(ithVar(v));
        }
        return cube;
    }

    /**
     * Takes over a handle that carries one reference owned by the caller, as
     * every static native method returns one.
     *
     * @param handle a BDD handle
     * @return a BDD that owns the reference
     */
    public BDD adopt(long handle) {
        if (handle == 0 || handle == -1) {
            throw new IllegalArgumentException("not a node handle: " + handle);
        }
        return new BDD(handle);
    }

    /**
     * Makes a BDD of a handle that someone else owns (for instance one read from
     * a game solver's memory); the BDD takes a reference of its own.
     *
     * @param handle a BDD handle
     * @return a BDD with its own reference
     */
    public BDD share(long handle) {
        if (handle == 0 || handle == -1) {
            throw new IllegalArgumentException("not a node handle: " + handle);
        }
        releasePending();
        addRef(handle);
        return new BDD(handle);
    }

    @Override
    public void reorder(ReorderMethod method) {
        releasePending();
        reorder0(method);
    }

    @Override
    public void autoReorder(ReorderMethod method) {
        autoReorder0(method, false, 0);
    }

    @Override
    public void autoReorder(ReorderMethod method, int max) {
        autoReorder0(method, true, max);
    }

    /**
     * Returns the method of automatic reordering: the last one chosen, which switching automatic
     * reordering off with {@link #REORDER_NONE} leaves as it was.
     *
     * @return the method
     */
    public ReorderMethod getReorderMethod() {
        return getreordermethod0();
    }

    @Override
    public void setVarOrder(int[] order) {
        releasePending();
        setVarOrder0(order);
    }

    @Override
    public void addVarBlock(int first, int last, boolean fixed) {
        addVarBlock0(first, last, fixed);
    }

    @Override
    public void varBlockAll() {
        int n = varNum0();
        for (int v = 0; v < n; v++) {
            addVarBlock0(v, v, false);
        }
    }

    /** Drops every variable block. */
    public void clearVarBlocks() {
        clearVarBlocks0();
    }

    @Override
    public void printOrder() {
        printVarTree0();
    }

    @Override
    public int getNodeNum() {
        releasePending();
        return getNodeNum0();
    }

    /**
     * Returns the number of node slots allocated so far, the peak of the node store.
     *
     * @return allocated node slots
     */
    public int getAllocNum() {
        return getAllocNum0();
    }

    @Override
    public int getCacheSize() {
        return getCacheSize0();
    }

    @Override
    public void printStat() {
        printStat0();
    }

    /**
     * Solves a GR(1) game: whether the system wins from all initial states.
     * The X, Y and Z iterates stay in the solver's memory ({@link #getXMem0()}
     * and its siblings) until the next solve. The solver prints a trace to
     * standard output.
     *
     * @param sysJ system justices, over unprimed variables
     * @param envJ environment justices, over unprimed variables
     * @param sysIni system initial condition
     * @param envIni environment initial condition
     * @param sysTrans system transitions, over unprimed and primed variables
     * @param envTrans environment transitions
     * @param sysVars cube of the unprimed system variables
     * @param envVars cube of the unprimed environment variables
     * @param sysPrimeVars cube of the primed system variables
     * @param envPrimeVars cube of the primed environment variables
     * @param primes a pairing that maps every variable to its primed copy and back
     * @param efp stop when one system justice reproduces its Z of the previous round
     * @param eun stop as soon as some initial state is lost
     * @param fpr start every X fixpoint from the previous round's value
     * @return true when the system wins from all initial states
     * @throws BDDException when the solver fails
     */
    public boolean gr1Game(BDD[] sysJ, BDD[] envJ, BDD sysIni, BDD envIni, BDD sysTrans, BDD envTrans,
            BDD sysVars, BDD envVars, BDD sysPrimeVars, BDD envPrimeVars, BDDPairing primes,
            boolean efp, boolean eun, boolean fpr) {
        releasePending();
        byte r = gr1Game0(handles(sysJ), handles(envJ), sysIni.h(), envIni.h(), sysTrans.h(), envTrans.h(),
                sysVars.h(), envVars.h(), sysPrimeVars.h(), envPrimeVars.h(), primes.address(), efp, eun, fpr);
        Reference.reachabilityFence(new Object[] {sysJ, envJ, sysIni, envIni, sysTrans, envTrans, sysVars,
            envVars, sysPrimeVars, envPrimeVars, primes});
        return verdict(r, "GR(1)");
    }

    /**
     * Solves the dual game: whether the environment wins from some initial
     * state. Arguments as {@link #gr1Game}; the iterates stay in the Rabin
     * memory ({@link #getRabinZMem0()} and its siblings).
     *
     * @param sysJ system justices
     * @param envJ environment justices
     * @param sysIni system initial condition
     * @param envIni environment initial condition
     * @param sysTrans system transitions
     * @param envTrans environment transitions
     * @param sysVars cube of the unprimed system variables
     * @param envVars cube of the unprimed environment variables
     * @param sysPrimeVars cube of the primed system variables
     * @param envPrimeVars cube of the primed environment variables
     * @param primes a pairing that maps every variable to its primed copy and back
     * @param efp early fixed-point detection
     * @param eun stop as soon as the environment wins some initial state
     * @param fpr fixed-point recycling
     * @return true when the environment wins from some initial state
     * @throws BDDException when the solver fails
     */
    public boolean rabinGame(BDD[] sysJ, BDD[] envJ, BDD sysIni, BDD envIni, BDD sysTrans, BDD envTrans,
            BDD sysVars, BDD envVars, BDD sysPrimeVars, BDD envPrimeVars, BDDPairing primes,
            boolean efp, boolean eun, boolean fpr) {
        releasePending();
        byte r = rabinGame0(handles(sysJ), handles(envJ), sysIni.h(), envIni.h(), sysTrans.h(), envTrans.h(),
                sysVars.h(), envVars.h(), sysPrimeVars.h(), envPrimeVars.h(), primes.address(), efp, eun, fpr);
        Reference.reachabilityFence(new Object[] {sysJ, envJ, sysIni, envIni, sysTrans, envTrans, sysVars,
            envVars, sysPrimeVars, envPrimeVars, primes});
        return verdict(r, "Rabin");
    }

    private static boolean verdict(byte r, String game) {
        if (r == 1) {
            return true;
        }
        if (r == 0) {
            return false;
        }
        throw new BDDException(game + " solver failed (result " + (r & 0xFF) + ")");
    }

    private static long[] handles(BDD[] nodes) {
        long[] hs = new long[nodes.length];
        for (int i = 0; i < nodes.length; i++) {
            hs[i] = nodes[i].h();
        }
        return hs;
    }

    // ---- ownership of native resources -------------------------------------------------------

    /**
     * The native resource of one Java object: a node handle with its one
     * reference, or the address of a pairing record. It is also the cleaning
     * action of the object, run once, either by free() or, for a dropped
     * object, by the cleaner thread, which only queues the resource.
     */
    static final class Owned implements Runnable {
        static final int BDD_NODE = 0;
        static final int ADD_NODE = 1;
        static final int PAIRING = 2;

        /** The handle or address; 0 once released. */
        volatile long handle;
        final int kind;
        final int generation;

        Owned(long handle, int kind) {
            this.handle = handle;
            this.kind = kind;
            this.generation = TARNFactory.generation;
        }

        /** Cleaner action: queue what a dropped object still owns. */
        @Override
        public void run() {
            if (handle != 0) {
                PENDING.add(this);
            }
        }

        /** The live handle; refuses a released one or one of a manager shut down since. */
        long live(String what) {
            long h = handle;
            if (h == 0) {
                throw new IllegalStateException("this " + what + " has been freed");
            }
            if (generation != TARNFactory.generation) {
                throw new IllegalStateException("this " + what + " belongs to a factory that has been shut down");
            }
            return h;
        }

        /** Releases the resource now, under the library lock that the natives take. */
        void release() {
            long h = handle;
            handle = 0;
            if (h == 0 || generation != TARNFactory.generation) {
                return;
            }
            switch (kind) {
                case BDD_NODE -> delRef(h, false);
                case ADD_NODE -> delRef(h, true);
                default -> free0(h);
            }
        }
    }

    static Cleaner.Cleanable register(Object owner, Owned state) {
        return CLEANER.register(owner, state);
    }

    /** Releases what the cleaner queued; every operation of the object level calls it first. */
    static void releasePending() {
        if (!PENDING.isEmpty()) {
            synchronized (TARNFactory.class) {
                Owned o;
                while ((o = PENDING.poll()) != null) {
                    o.release();
                }
            }
        }
    }

    private static int checkVar(int var) {
        releasePending();
        if (var < 0) {
            throw new IllegalArgumentException("negative variable index " + var);
        }
        return var;
    }

    private static long checkedVar(long h) {
        if (h == 0) {
            throw new IllegalArgumentException("variable index too large");
        }
        return h;
    }

    /** The complement of a BDD handle, with the reference moved to it. */
    private static long swapForNot(long h) {
        long n = not0(h, false);
        delRef(h, false);
        return n;
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
