package tarn.test;

import ordo.BDD;
import ordo.TARNFactory;

/** Run in a child JVM by JarLoadTest: starts the factory without any library path. */
public final class JarLoadMain {
    private JarLoadMain() {
    }

    public static void main(String[] args) {
        if (System.getProperty("tarn.library") != null) {
            throw new IllegalStateException("tarn.library is set");
        }
        try (TARNFactory f = TARNFactory.init(100, 100)) {
            f.setVarNum(3);
            BDD x = f.ithVar(0).orWith(f.ithVar(1));
            System.out.println("satCount " + x.satCount());
            x.free();
        }
    }
}
