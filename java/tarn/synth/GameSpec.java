package tarn.synth;

import java.util.ArrayList;
import java.util.List;

/** A GR(1) specification: the two players' variables, and per section its formulas. */
final class GameSpec {
    /** The player that controls a variable. */
    enum Side {
        ENV, SYS
    }

    /** A declared variable; number orders all variables, inputs first. */
    record Variable(String name, Side side, int number) {
    }

    /** A formula with the line it was read from. */
    record Line(Formula formula, int line) {
    }

    final List<Variable> inputs = new ArrayList<>();
    final List<Variable> outputs = new ArrayList<>();
    final List<Line> envInit = new ArrayList<>();
    final List<Line> sysInit = new ArrayList<>();
    final List<Line> envTrans = new ArrayList<>();
    final List<Line> sysTrans = new ArrayList<>();
    final List<Line> envLiveness = new ArrayList<>();
    final List<Line> sysLiveness = new ArrayList<>();

    /** Number of declared variables. */
    int variableCount() {
        return inputs.size() + outputs.size();
    }
}
