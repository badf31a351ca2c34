package tarn.test;

import ordo.BDD;
import ordo.TARNFactory;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;

/**
 * Gives every test of the object API a fresh factory of five variables,
 * started with init and shut down with done (which also retires the objects
 * of the test).
 */
abstract class ApiFixture {
    TARNFactory f;

    @BeforeAll
    static void loadLibrary() {
        TARNFactory.ensureLoaded();
    }

    @BeforeEach
    void createFactory() {
        f = TARNFactory.init(1000, 1000);
        f.setVarNum(TruthTables.VARS);
    }

    @AfterEach
    void destroyFactory() {
        f.done();
    }

    /** The truth table of a BDD (see TruthTables). */
    static long table(BDD b) {
        return TruthTables.table(b.handle());
    }

    /** The BDD of a truth table. */
    BDD bdd(long table) {
        return f.adopt(TruthTables.buildFrom(table, 0));
    }
}
