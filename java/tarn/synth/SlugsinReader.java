package tarn.synth;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.Reader;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * Reads a GR(1) specification in the slugsin text format: sections headed
 * {@code [INPUT]}, {@code [OUTPUT]} (every section whose name contains OUTPUT
 * declares system variables), {@code [ENV_INIT]}, {@code [SYS_INIT]},
 * {@code [ENV_TRANS]}, {@code [SYS_TRANS]}, {@code [ENV_LIVENESS]} and
 * {@code [SYS_LIVENESS]}; one variable name or one formula per line; lines
 * starting with # are comments. Formulas are in prefix notation over
 * {@code ! & | ^ 1 0}, variables and primed variables {@code name'}, and the
 * memoization operators: {@code $ n f1 ... fn} stands for fn, where each fk
 * may name an earlier fi of the same {@code $} by {@code ? i} (counted from 0).
 */
final class SlugsinReader {
    /** A malformed specification; the message starts with the line number. */
    static final class SpecException extends Exception {
        private static final long serialVersionUID = 1L;
        final int line;

        SpecException(int line, String message) {
            super("line " + line + ": " + message);
            this.line = line;
        }
    }

    private enum Section {
        INPUT, OUTPUT, ENV_INIT, SYS_INIT, ENV_TRANS, SYS_TRANS, ENV_LIVENESS, SYS_LIVENESS
    }

    private final GameSpec spec = new GameSpec();
    private final Map<String, GameSpec.Variable> variables = new HashMap<>();
    private int lineNumber;
    private String[] tokens;
    private int pos;

    private SlugsinReader() {
    }

    /**
     * Reads a whole specification.
     *
     * @throws SpecException for malformed input, with the line number
     */
    static GameSpec read(Reader in) throws IOException, SpecException {
        return new SlugsinReader().readAll(new BufferedReader(in));
    }

    private GameSpec readAll(BufferedReader in) throws IOException, SpecException {
        List<PendingLine> formulas = new ArrayList<>();
        Section section = null;
        String text;
        while ((text = in.readLine()) != null) {
            lineNumber++;
            String line = text.strip();
            if (line.isEmpty() || line.startsWith("#")) {
                continue;
            }
            if (line.startsWith("[")) {
                section = section(line);
                continue;
            }
            if (section == null) {
                throw error("text before the first section");
            }
            if (section == Section.INPUT || section == Section.OUTPUT) {
                declare(line, section == Section.INPUT ? GameSpec.Side.ENV : GameSpec.Side.SYS);
            } else {
                // Variables may be declared after the formulas that use them: read formulas last.
                formulas.add(new PendingLine(section, lineNumber, line));
            }
        }
        numberVariables();
        for (PendingLine p : formulas) {
            lineNumber = p.line;
            Formula f = parseLine(p.text);
            check(p.section, f);
            listOf(p.section).add(new GameSpec.Line(f, p.line));
        }
        return spec;
    }

    private record PendingLine(Section section, int line, String text) {
    }

    private Section section(String line) throws SpecException {
        if (!line.endsWith("]")) {
            throw error("section header without closing bracket: " + line);
        }
        String name = line.substring(1, line.length() - 1).strip();
        if (name.contains("OUTPUT")) {
            return Section.OUTPUT;
        }
        try {
            return Section.valueOf(name);
        } catch (IllegalArgumentException e) {
            throw error("unknown section [" + name + "]");
        }
    }

    private void declare(String line, GameSpec.Side side) throws SpecException {
        String name = line.split("\\s+")[0];
        if (!name.equals(line)) {
            throw error("a variable declaration is one name per line: " + line);
        }
        if (!isName(name)) {
            throw error("not a variable name: " + name);
        }
        if (variables.containsKey(name)) {
            throw error("variable " + name + " declared twice");
        }
        List<GameSpec.Variable> list = side == GameSpec.Side.ENV ? spec.inputs : spec.outputs;
        GameSpec.Variable v = new GameSpec.Variable(name, side, -1);
        list.add(v);
        variables.put(name, v);
    }

    private static boolean isName(String s) {
        if (s.endsWith("'") || s.equals("!") || s.equals("&") || s.equals("|") || s.equals("^")
                || s.equals("$") || s.equals("?") || s.startsWith("#")) {
            return false;
        }
        return !s.chars().allMatch(Character::isDigit);
    }

    private List<GameSpec.Line> listOf(Section s) {
        return switch (s) {
            case ENV_INIT -> spec.envInit;
            case SYS_INIT -> spec.sysInit;
            case ENV_TRANS -> spec.envTrans;
            case SYS_TRANS -> spec.sysTrans;
            case ENV_LIVENESS -> spec.envLiveness;
            default -> spec.sysLiveness;
        };
    }

    /** Initial conditions speak of the first state only; each player's conditions of what it sees. */
    private void check(Section s, Formula f) throws SpecException {
        if ((s == Section.ENV_INIT || s == Section.SYS_INIT) && f.mentionsPrimed()) {
            throw error("primed variable in an initial condition");
        }
        if (s == Section.ENV_INIT && f.mentions(GameSpec.Side.SYS, false)) {
            throw error("the environment's initial condition mentions an output");
        }
        // The environment moves first: its transitions cannot depend on the system's next move.
        if (s == Section.ENV_TRANS && f.mentions(GameSpec.Side.SYS, true)) {
            throw error("the environment's transitions mention a primed output");
        }
    }

    private Formula parseLine(String line) throws SpecException {
        String text = line;
        int hash = text.indexOf('#');
        if (hash >= 0) {
            text = text.substring(0, hash);
        }
        tokens = text.strip().split("\\s+");
        pos = 0;
        Formula f = parse(new ArrayList<>());
        if (pos < tokens.length) {
            throw error("unexpected '" + tokens[pos] + "' after a complete formula");
        }
        return f;
    }

    /** Parses one formula; scopes holds the subformulas of the enclosing $ operators, innermost last. */
    private Formula parse(List<List<Formula>> scopes) throws SpecException {
        if (pos >= tokens.length) {
            throw error("formula ends early: an operator lacks an operand");
        }
        String t = tokens[pos++];
        switch (t) {
            case "!":
                return new Formula.Apply(Formula.Op.NOT, parse(scopes), null);
            case "&":
            case "|":
            case "^": {
                Formula.Op op = t.equals("&") ? Formula.Op.AND : t.equals("|") ? Formula.Op.OR : Formula.Op.XOR;
                Formula a = parse(scopes);
                Formula b = parse(scopes);
                return new Formula.Apply(op, a, b);
            }
            case "1":
                return new Formula.Const(true);
            case "0":
                return new Formula.Const(false);
            case "$": {
                int n = number("$");
                if (n < 1) {
                    throw error("$ needs at least one subformula");
                }
                List<Formula> scope = new ArrayList<>();
                scopes.add(scope);
                for (int k = 0; k < n; k++) {
                    scope.add(parse(scopes));
                }
                scopes.remove(scopes.size() - 1);
                return scope.get(n - 1);
            }
            case "?": {
                int i = number("?");
                if (scopes.isEmpty()) {
                    throw error("? " + i + " outside a $ operator");
                }
                List<Formula> scope = scopes.get(scopes.size() - 1);
                if (i < 0 || i >= scope.size()) {
                    throw error("? " + i + " names no earlier subformula of its $ operator");
                }
                return scope.get(i);
            }
            default:
                return variable(t);
        }
    }

    private int number(String operator) throws SpecException {
        if (pos >= tokens.length) {
            throw error(operator + " needs a number");
        }
        try {
            return Integer.parseInt(tokens[pos++]);
        } catch (NumberFormatException e) {
            throw error(operator + " needs a number, not '" + tokens[pos - 1] + "'");
        }
    }

    private Formula variable(String t) throws SpecException {
        boolean primed = t.endsWith("'");
        String name = primed ? t.substring(0, t.length() - 1) : t;
        GameSpec.Variable v = variables.get(name);
        if (v == null) {
            throw error("unknown variable '" + name + "'");
        }
        return new Formula.Var(v, primed);
    }

    /** Numbers the variables: inputs first, then outputs, in the order of their declarations. */
    private void numberVariables() {
        List<GameSpec.Variable> all = new ArrayList<>(spec.inputs);
        all.addAll(spec.outputs);
        spec.inputs.clear();
        spec.outputs.clear();
        for (int n = 0; n < all.size(); n++) {
            GameSpec.Variable v = all.get(n);
            GameSpec.Variable numbered = new GameSpec.Variable(v.name(), v.side(), n);
            (v.side() == GameSpec.Side.ENV ? spec.inputs : spec.outputs).add(numbered);
            variables.put(v.name(), numbered);
        }
    }

    private SpecException error(String message) {
        return new SpecException(lineNumber, message);
    }
}
