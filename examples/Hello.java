import ordo.TARNFactory;

/**
 * A first tour of the tarn library: start a manager, make variables, look
 * inside one of them, use a pairing record, give every reference back and
 * shut down.
 *
 * <p>Run: {@code java -cp build/tarn.jar examples/Hello.java}; the library
 * comes out of tarn.jar unless {@code -Dtarn.library=/absolute/path/libtarn.so}
 * names another one.
 */
public final class Hello {

    private Hello() {
    }

    private static String describe(long handle) {
        if (handle == TARNFactory.one) {
            return "one";
        }
        if (handle == TARNFactory.zero) {
            return "zero";
        }
        return String.format("node 0x%x", handle);
    }

    public static void main(String[] args) {
        TARNFactory.ensureLoaded();
        String path = System.getProperty("tarn.library");
        System.out.println("loaded " + (path != null ? path : "the libtarn.so inside tarn.jar"));

        TARNFactory.initialize0(10000, 10000);
        System.out.printf("manager started: one = 0x%x, zero = 0x%x, ADD zero = 0x%x%n",
                TARNFactory.one, TARNFactory.zero, TARNFactory.addZero);

        int before = TARNFactory.setVarNum0(4, false);
        System.out.println("variables: " + before + " -> " + TARNFactory.varNum0());

        long[] vars = new long[3];
        for (int i = 0; i < vars.length; i++) {
            vars[i] = TARNFactory.ithVar0(i, false);
            System.out.printf("x%d = 0x%x (variable %d at level %d)%n", i, vars[i],
                    TARNFactory.var0(vars[i]), TARNFactory.var2Level0(i));
        }

        long x1 = vars[1];
        long high = TARNFactory.high0(x1, false);
        long low = TARNFactory.low0(x1, false);
        System.out.println("x1: then-child is " + describe(high) + ", else-child is " + describe(low));
        long notX1 = x1 ^ 1L;
        long notHigh = TARNFactory.high0(notX1, false);
        System.out.println("not x1 (complement mark set): then-child is " + describe(notHigh));

        long pairing = TARNFactory.alloc(false);
        System.out.printf("pairing record at 0x%x, one entry per variable%n", pairing);
        TARNFactory.free0(pairing);
        System.out.println("pairing record freed");

        for (long v : vars) {
            TARNFactory.delRef(v, false);
        }
        TARNFactory.delRef(high, false);
        TARNFactory.delRef(low, false);
        TARNFactory.delRef(notHigh, false);
        System.out.println("released " + (vars.length + 3) + " references");

        TARNFactory.done0();
        System.out.println("manager shut down; initialized = " + TARNFactory.isInitialized0());
    }
}
