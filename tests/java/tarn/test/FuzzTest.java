package tarn.test;

import static org.junit.jupiter.api.Assertions.assertNull;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/** A few seeds of the random differential tester; scripts/fuzz.sh runs many more. */
class FuzzTest extends ManagerFixture {

    @Override
    void createManager() {
        // every seed creates and destroys its own manager
    }

    @ParameterizedTest(name = "seed {0}")
    @ValueSource(longs = {1, 2, 3, 4, 5, 6})
    void randomRunsAgreeWithTheOracle(long seed) {
        assertNull(Fuzz.runSeed(seed, 600));
    }
}
