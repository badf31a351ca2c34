package tarn.test;

import ordo.TARNFactory;

/**
 * Prints the statistics report of a fresh factory. StatsTest runs it in a child JVM, because the
 * report goes to the process's native standard output, which the test JVM cannot capture.
 */
public final class PrintStats {
    private PrintStats() {
    }

    public static void main(String[] args) {
        TARNFactory.loadLibrary(args[0]);
        TARNFactory.initialize0(10000, 10000);
        TARNFactory.printStat0();
        TARNFactory.done0();
    }
}
