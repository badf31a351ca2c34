package tarn.test;

import static org.junit.jupiter.api.Assertions.assertTrue;

import ordo.TARNFactory;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;

/**
 * Gives every test a fresh manager. The library keeps one manager per
 * process and all test classes share one JVM, so each test creates the
 * manager before it runs and destroys it afterwards.
 */
abstract class ManagerFixture {
    static final int MAX_INDEX = Integer.MAX_VALUE;
    static final long MISSING = -1L;

    @BeforeAll
    static void loadLibrary() {
        String path = System.getProperty("tarn.library");
        if (path == null) {
            TARNFactory.loadLibrary();
        } else {
            TARNFactory.loadLibrary(path);
        }
    }

    @BeforeEach
    void createManager() {
        TARNFactory.initialize0(10000, 10000);
        assertTrue(TARNFactory.isInitialized0());
    }

    @AfterEach
    void destroyManager() {
        TARNFactory.done0();
    }

    /** The complement of a handle: bit 0 is the complement mark. */
    static long not(long f) {
        return f ^ 1L;
    }
}
