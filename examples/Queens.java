import ordo.BDD;
import ordo.TARNFactory;

/**
 * N-queens: place N queens on an N x N board so that no two attack each
 * other. Variable i*N+j says "a queen on row i, column j"; the BDD of all
 * placements is built constraint by constraint and its satisfying
 * assignments are counted.
 *
 * <p>Run: {@code java -cp build/tarn.jar examples/Queens.java 8}
 */
public final class Queens {
    private Queens() {
    }

    public static void main(String[] args) {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 8;
        try (TARNFactory f = TARNFactory.init(100_000, 100_000)) {
            f.setVarNum(n * n);
            BDD board = f.one();
            for (int i = 0; i < n; i++) {
                // at least one queen in every row
                BDD row = f.zero();
                for (int j = 0; j < n; j++) {
                    row.orWith(f.ithVar(i * n + j));
                }
                board.andWith(row);
            }
            for (int i = 0; i < n; i++) {
                for (int j = 0; j < n; j++) {
                    // a queen on (i, j) excludes every other square it attacks
                    BDD safe = f.one();
                    for (int k = 0; k < n; k++) {
                        for (int l = 0; l < n; l++) {
                            boolean attacked = (k == i || l == j || k - l == i - j || k + l == i + j)
                                    && !(k == i && l == j);
                            if (attacked) {
                                safe.andWith(f.nithVar(k * n + l));
                            }
                        }
                    }
                    board.andWith(f.ithVar(i * n + j).impWith(safe));
                }
            }
            System.out.printf("%d queens: %.0f solutions, %d BDD nodes%n", n, board.satCount(), board.nodeCount());
            BDD one = board.satOne();
            for (int i = 0; i < n; i++) {
                StringBuilder line = new StringBuilder();
                for (int j = 0; j < n; j++) {
                    BDD q = f.ithVar(i * n + j);
                    BDD both = one.and(q);
                    line.append(both.isZero() ? ". " : "Q ");
                    both.free();
                    q.free();
                }
                System.out.println(line);
            }
            one.free();
            board.free();
        }
    }
}
