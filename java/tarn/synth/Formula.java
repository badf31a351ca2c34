package tarn.synth;

import java.util.IdentityHashMap;
import java.util.Map;
import java.util.function.IntFunction;
import ordo.BDD;
import ordo.BDDFactory;

/**
 * A Boolean formula of a specification, as read from its prefix notation.
 * Subformulas that the memoization operators name are shared, so a formula
 * is a DAG and is turned into a BDD once per distinct node.
 */
abstract class Formula {
    /** The operators of the prefix notation. */
    enum Op {
        NOT, AND, OR, XOR
    }

    /** Whether a primed variable occurs in the formula. */
    abstract boolean mentionsPrimed();

    /** Whether a variable of the given side occurs in the formula, primed (next) or not. */
    abstract boolean mentions(GameSpec.Side side, boolean next);

    /**
     * The BDD of the formula; memo holds the BDDs of the nodes built so far
     * and owns them.
     */
    abstract BDD build(BDDFactory f, IntFunction<BDD> var, Map<Formula, BDD> memo);

    /**
     * The BDD of the formula; var gives the BDD of a variable index (its
     * unprimed or primed copy as Var says), and the caller owns the result.
     */
    final BDD toBDD(BDDFactory f, IntFunction<BDD> var) {
        Map<Formula, BDD> memo = new IdentityHashMap<>();
        try {
            return memoized(f, var, memo).id();
        } finally {
            for (BDD b : memo.values()) {
                b.free();
            }
        }
    }

    final BDD memoized(BDDFactory f, IntFunction<BDD> var, Map<Formula, BDD> memo) {
        BDD b = memo.get(this);
        if (b == null) {
            b = build(f, var, memo);
            memo.put(this, b);
        }
        return b;
    }

    /** The constant true or false. */
    static final class Const extends Formula {
        final boolean value;

        Const(boolean value) {
            this.value = value;
        }

        @Override
        boolean mentionsPrimed() {
            return false;
        }

        @Override
        boolean mentions(GameSpec.Side side, boolean next) {
            return false;
        }

        @Override
        BDD build(BDDFactory f, IntFunction<BDD> var, Map<Formula, BDD> memo) {
            return value ? f.one() : f.zero();
        }
    }

    /** A variable, current (unprimed) or next (primed). */
    static final class Var extends Formula {
        final GameSpec.Variable variable;
        final boolean primed;

        Var(GameSpec.Variable variable, boolean primed) {
            this.variable = variable;
            this.primed = primed;
        }

        @Override
        boolean mentionsPrimed() {
            return primed;
        }

        @Override
        boolean mentions(GameSpec.Side side, boolean next) {
            return variable.side() == side && primed == next;
        }

        @Override
        BDD build(BDDFactory f, IntFunction<BDD> var, Map<Formula, BDD> memo) {
            return var.apply(2 * variable.number() + (primed ? 1 : 0));
        }
    }

    /** An operator applied to one or two operands. */
    static final class Apply extends Formula {
        final Op op;
        final Formula a;
        final Formula b;

        Apply(Op op, Formula a, Formula b) {
            this.op = op;
            this.a = a;
            this.b = b;
        }

        @Override
        boolean mentionsPrimed() {
            return a.mentionsPrimed() || (b != null && b.mentionsPrimed());
        }

        @Override
        boolean mentions(GameSpec.Side side, boolean next) {
            return a.mentions(side, next) || (b != null && b.mentions(side, next));
        }

        @Override
        BDD build(BDDFactory f, IntFunction<BDD> var, Map<Formula, BDD> memo) {
            BDD x = a.memoized(f, var, memo);
            if (op == Op.NOT) {
                return x.not();
            }
            BDD y = b.memoized(f, var, memo);
            return switch (op) {
                case AND -> x.and(y);
                case OR -> x.or(y);
                default -> x.xor(y);
            };
        }
    }
}
