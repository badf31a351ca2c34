package tarn.synth;

import java.io.IOException;
import java.io.Reader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import ordo.BDD;
import ordo.TARNFactory;

/**
 * A controller for a GR(1) specification: the winning strategy relation that
 * the memory of the GR(1) solve yields (over the current state, the next
 * state and the justice counter, see {@link Strategy}) and a deterministic
 * controller drawn from it. The outputs of a step are the system's next
 * variables and the next counter value; for every current state and counter
 * value and every next input that the strategy allows, the deterministic
 * controller allows exactly one of the strategy's outputs.
 *
 * <p>Building it moves the outputs to the bottom of the variable order (see
 * {@link BDD#determinize(BDD)}). The controller owns its diagrams and the
 * game's; {@link #close()} gives them back.
 */
public final class Controller implements AutoCloseable {
    private final Game game;
    private final BDD strategy;
    private final BDD outputs;
    private final BDD deterministic;

    private Controller(Game game, BDD strategy, BDD outputs, BDD deterministic) {
        this.game = game;
        this.strategy = strategy;
        this.outputs = outputs;
        this.deterministic = deterministic;
    }

    /**
     * Reads a specification in the slugsin format, solves its GR(1) game on f
     * (whose variables it sets) and builds the strategy and the deterministic
     * controller.
     *
     * @param f a running factory; the game's variables replace its variable count
     * @param file the specification
     * @return the controller, or null when the specification is unrealizable
     * @throws IOException when the file cannot be read
     * @throws IllegalArgumentException for a malformed specification, with its line number
     */
    public static Controller synthesize(TARNFactory f, Path file) throws IOException {
        GameSpec spec;
        try (Reader in = Files.newBufferedReader(file, StandardCharsets.UTF_8)) {
            spec = SlugsinReader.read(in);
        } catch (SlugsinReader.SpecException e) {
            throw new IllegalArgumentException(file + ": " + e.getMessage(), e);
        }
        int bits = counterBits(spec);
        Game g = new Game(f, spec, 2 * bits);
        try {
            if (!g.solveGr1(false, false, false)) {
                g.close();
                return null;
            }
            BDD s = Strategy.build(g, counterBase(g));
            BDD out = outputs(g, bits);
            return new Controller(g, s, out, s.determinize(out));
        } catch (RuntimeException | Error e) {
            g.close();
            throw e;
        }
    }

    /** Number of counter bits the strategy of spec needs. */
    static int counterBits(GameSpec spec) {
        return Strategy.counterBits(Math.max(1, spec.sysLiveness.size()));
    }

    /** Index of the first counter variable: the counter follows the game's variables. */
    static int counterBase(Game g) {
        return 2 * g.stateVariables;
    }

    /** The cube of a step's outputs: the system's next variables and the next counter bits. */
    static BDD outputs(Game g, int bits) {
        BDD cube = g.sysPrimeVars.id();
        for (int b = 0; b < bits; b++) {
            cube.andWith(g.f.ithVar(counterBase(g) + 2 * b + 1));
        }
        return cube;
    }

    /**
     * The strategy relation; owned by this controller.
     *
     * @return the relation over current state, next state and current and next counter
     */
    public BDD strategy() {
        return strategy;
    }

    /**
     * The outputs of a step; owned by this controller.
     *
     * @return the cube of the system's next variables and the next counter bits
     */
    public BDD outputs() {
        return outputs;
    }

    /**
     * The deterministic controller; owned by this controller.
     *
     * @return a subset of the strategy with one output per current state, counter and next input
     */
    public BDD deterministic() {
        return deterministic;
    }

    /** Gives back the diagrams of the controller and of its game. */
    @Override
    public void close() {
        deterministic.free();
        outputs.free();
        strategy.free();
        game.close();
    }
}
