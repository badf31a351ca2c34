package ordo;

/**
 * Common base of the decision-diagram factories. It holds the reordering
 * methods that callers can name; the native library reads the eight constants
 * below by field name and compares the objects by identity, so each method
 * exists exactly once.
 */
public abstract class BDDFactory {

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
}
