/* GR(1) and Rabin game solving over BuDDy, the peer of tarn's game solvers in the benchmarks.
 *
 *   gamebuddy [--rabin | --check] [--stepwise] [--expect realizable|unrealizable] [--nodes N]
 *             [--cache N] [--cacheratio R] FILE.slugsin
 *
 * Reads a GR(1) specification in the slugsin text format, builds the game with every declared
 * variable v as BDD variable 2v and its primed copy as 2v+1 (inputs first, then outputs, each in
 * the order of the file), and solves it with the same nested fixpoints as tarn's solvers, run the
 * same way with their three heuristics off: the same operations in the same order, the same
 * priming (a renaming of each variable to its primed copy), the same equality tests (here a
 * comparison of canonical nodes), the same relational products in the controllable predecessors
 * (--stepwise: a separate conjunction and quantification instead), and every iterate the solver
 * memories keep stays referenced until the end. Where tarn negates an operand for free (complement edges) and then applies a
 * connective, this side applies the one BuDDy operator that folds the negation in (implication,
 * difference), which visits the same pairs of nodes.
 *
 * A liveness line that mentions primed variables describes transitions: each such justice becomes
 * a state property with a fresh system variable r (after the declared variables, those of the
 * environment's justices first) and the system transition constraint r' <-> line.
 *
 * Node table and caches: 2^20 nodes at first, growing when a collection frees less than a fifth
 * of the table; 2^20 entries per operation cache, resized with the table (cache ratio 1).
 *
 * Prints one line per solve:
 *   gr1|rabin realizable|unrealizable zIter=Z yIter=Y xIter=X buildMs=B solveMs=S cpuMs=C peakKiB=P
 * (for Rabin the environment wins exactly when the word is "unrealizable"). Exit status: 0, or 1
 * when --expect does not hold or --check finds verdicts that are not complementary, 2 on malformed
 * input or a usage error.
 */
#include <bdd.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

/* ---- small helpers ---------------------------------------------------------------------- */

static void die(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    fprintf(stderr, "gamebuddy: ");
    vfprintf(stderr, fmt, ap);
    fprintf(stderr, "\n");
    va_end(ap);
    exit(2);
}

static void *xrealloc(void *p, size_t bytes) {
    void *q = realloc(p, bytes ? bytes : 1);
    if (q == NULL) die("out of memory");
    return q;
}

static char *xstrdup(const char *s) {
    size_t n = strlen(s) + 1;
    char *d = xrealloc(NULL, n);
    memcpy(d, s, n);
    return d;
}

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static double cpu_ms(void) {
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

static long peak_kib(void) {
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

/* A result that stays alive until it is released. */
static BDD keep(BDD f) { return bdd_addref(f); }
static void drop(BDD f) { bdd_delref(f); }

static void quiet_gbc(int pre, bddGbcStat *stat) {
    (void)pre;
    (void)stat;
}

/* ---- the specification file --------------------------------------------------------------- */

enum Section { S_NONE, S_INPUT, S_OUTPUT, S_ENV_INIT, S_SYS_INIT, S_ENV_TRANS, S_SYS_TRANS,
               S_ENV_LIVENESS, S_SYS_LIVENESS, S_COUNT };

struct Line {
    int number;
    enum Section section;
    char *text;
};

struct Spec {
    struct Line *lines;
    int numLines;
    char **names;       /* declared variables: inputs first, then outputs */
    int numInputs, numVars;
};

static enum Section section_of(const char *header, int number) {
    static const char *const names[] = {"INPUT", "ENV_INIT", "SYS_INIT", "ENV_TRANS",
                                        "SYS_TRANS", "ENV_LIVENESS", "SYS_LIVENESS"};
    static const enum Section sections[] = {S_INPUT, S_ENV_INIT, S_SYS_INIT, S_ENV_TRANS,
                                            S_SYS_TRANS, S_ENV_LIVENESS, S_SYS_LIVENESS};
    for (size_t k = 0; k < sizeof names / sizeof names[0]; k++) {
        if (strcmp(header, names[k]) == 0) return sections[k];
    }
    /* Extension sections naming outputs ([OUTPUT_A], [MOTION STATE OUTPUT], ...) declare plain
       system outputs. */
    if (strstr(header, "OUTPUT") != NULL) return S_OUTPUT;
    die("line %d: unknown section [%s]", number, header);
    return S_NONE;
}

static char *trim(char *s) {
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n') s++;
    size_t n = strlen(s);
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n')) {
        s[--n] = '\0';
    }
    return s;
}

static void read_spec(const char *path, struct Spec *spec) {
    FILE *in = fopen(path, "r");
    if (in == NULL) die("cannot open %s", path);
    memset(spec, 0, sizeof *spec);
    enum Section current = S_NONE;
    char *buffer = NULL;
    size_t capacity = 0;
    int number = 0, cap = 0;
    char **inputs = NULL, **outputs = NULL;
    int numIn = 0, numOut = 0;
    while (getline(&buffer, &capacity, in) != -1) {
        number++;
        char *s = trim(buffer);
        if (*s == '\0' || *s == '#') continue;
        if (*s == '[') {
            char *close = strchr(s, ']');
            if (close == NULL || close[1] != '\0') die("line %d: malformed section header", number);
            *close = '\0';
            current = section_of(s + 1, number);
            continue;
        }
        if (current == S_NONE) die("line %d: text before the first section", number);
        if (current == S_INPUT || current == S_OUTPUT) {
            if (strpbrk(s, " \t'") != NULL) die("line %d: malformed variable name '%s'", number, s);
            if (current == S_INPUT) {
                inputs = xrealloc(inputs, sizeof *inputs * (size_t)(numIn + 1));
                inputs[numIn++] = xstrdup(s);
            } else {
                outputs = xrealloc(outputs, sizeof *outputs * (size_t)(numOut + 1));
                outputs[numOut++] = xstrdup(s);
            }
            continue;
        }
        if (spec->numLines == cap) {
            cap = cap ? 2 * cap : 64;
            spec->lines = xrealloc(spec->lines, sizeof *spec->lines * (size_t)cap);
        }
        spec->lines[spec->numLines].number = number;
        spec->lines[spec->numLines].section = current;
        spec->lines[spec->numLines].text = xstrdup(s);
        spec->numLines++;
    }
    free(buffer);
    fclose(in);
    spec->numInputs = numIn;
    spec->numVars = numIn + numOut;
    spec->names = xrealloc(NULL, sizeof *spec->names * (size_t)(spec->numVars + 1));
    for (int k = 0; k < numIn; k++) spec->names[k] = inputs[k];
    for (int k = 0; k < numOut; k++) spec->names[numIn + k] = outputs[k];
    free(inputs);
    free(outputs);
    for (int a = 0; a < spec->numVars; a++) {
        for (int b = a + 1; b < spec->numVars; b++) {
            if (strcmp(spec->names[a], spec->names[b]) == 0) {
                die("variable %s declared twice", spec->names[a]);
            }
        }
    }
}

/* Variable names to indices: open addressing over a power-of-two table. */
struct Names {
    char **keys;
    int *values;
    size_t mask;
};

static size_t hash_name(const char *s, size_t n) {
    size_t h = 1469598103934665603ull;
    for (size_t k = 0; k < n; k++) h = (h ^ (unsigned char)s[k]) * 1099511628211ull;
    return h;
}

static void names_init(struct Names *t, char **names, int count) {
    size_t size = 16;
    while (size < 2 * (size_t)count + 2) size *= 2;
    t->keys = xrealloc(NULL, sizeof *t->keys * size);
    t->values = xrealloc(NULL, sizeof *t->values * size);
    memset(t->keys, 0, sizeof *t->keys * size);
    t->mask = size - 1;
    for (int v = 0; v < count; v++) {
        size_t h = hash_name(names[v], strlen(names[v])) & t->mask;
        while (t->keys[h] != NULL) h = (h + 1) & t->mask;
        t->keys[h] = names[v];
        t->values[h] = v;
    }
}

static int names_find(const struct Names *t, const char *s, size_t n) {
    size_t h = hash_name(s, n) & t->mask;
    while (t->keys[h] != NULL) {
        if (strncmp(t->keys[h], s, n) == 0 && t->keys[h][n] == '\0') return t->values[h];
        h = (h + 1) & t->mask;
    }
    return -1;
}

/* ---- formulas ------------------------------------------------------------------------------ */

/* One line's prefix formula, read token by token. "$ n f1 ... fn" evaluates the n formulas in
   order and stands for the last; inside it, "? k" stands for the k-th of them (from 0). */
struct Parser {
    const struct Names *names;
    const char *p;
    int line;
    BDD *memo;          /* stack of the memoized values of the open "$" groups */
    int memoSize, memoCap;
    int memoBase;       /* first entry of the innermost open group */
    int memoCount;      /* entries of the innermost group defined so far */
};

static int next_token(struct Parser *ps, const char **start, size_t *len) {
    while (*ps->p == ' ' || *ps->p == '\t') ps->p++;
    if (*ps->p == '\0') return 0;
    *start = ps->p;
    while (*ps->p != '\0' && *ps->p != ' ' && *ps->p != '\t') ps->p++;
    *len = (size_t)(ps->p - *start);
    return 1;
}

static int read_count(struct Parser *ps) {
    const char *t;
    size_t n;
    if (!next_token(ps, &t, &n)) die("line %d: a number is missing", ps->line);
    int value = 0;
    for (size_t k = 0; k < n; k++) {
        if (t[k] < '0' || t[k] > '9' || value > 100000000) {
            die("line %d: malformed number '%.*s'", ps->line, (int)n, t);
        }
        value = value * 10 + (t[k] - '0');
    }
    return value;
}

static BDD parse(struct Parser *ps) {
    const char *t;
    size_t n;
    if (!next_token(ps, &t, &n)) die("line %d: an operand is missing", ps->line);
    if (n == 1) {
        switch (t[0]) {
        case '1': return bdd_true();
        case '0': return bdd_false();
        case '!': {
            BDD a = keep(parse(ps));
            BDD r = bdd_not(a);
            drop(a);
            return r;
        }
        case '&':
        case '|':
        case '^': {
            BDD a = keep(parse(ps));
            BDD b = keep(parse(ps));
            BDD r = bdd_apply(a, b, t[0] == '&' ? bddop_and : t[0] == '|' ? bddop_or : bddop_xor);
            drop(a);
            drop(b);
            return r;
        }
        case '$': {
            int count = read_count(ps);
            if (count < 1) die("line %d: '$' needs at least one formula", ps->line);
            int savedBase = ps->memoBase, savedCount = ps->memoCount;
            ps->memoBase = ps->memoSize;
            ps->memoCount = 0;
            if (ps->memoSize + count > ps->memoCap) {
                ps->memoCap = 2 * (ps->memoSize + count);
                ps->memo = xrealloc(ps->memo, sizeof *ps->memo * (size_t)ps->memoCap);
            }
            ps->memoSize += count;
            for (int k = 0; k < count; k++) {
                ps->memo[ps->memoBase + k] = keep(parse(ps));
                ps->memoCount = k + 1;
            }
            BDD r = ps->memo[ps->memoBase + count - 1];
            for (int k = 0; k < count - 1; k++) drop(ps->memo[ps->memoBase + k]);
            ps->memoSize -= count;
            ps->memoBase = savedBase;
            ps->memoCount = savedCount;
            drop(r);  /* still referenced by nothing else: returned like any fresh result */
            return r;
        }
        case '?': {
            int k = read_count(ps);
            if (k >= ps->memoCount) die("line %d: '? %d' names no memoized formula", ps->line, k);
            return ps->memo[ps->memoBase + k];
        }
        default: break;
        }
    }
    int primed = t[n - 1] == '\'';
    int v = names_find(ps->names, t, primed ? n - 1 : n);
    if (v < 0) die("line %d: unknown variable '%.*s'", ps->line, (int)n, t);
    return bdd_ithvar(2 * v + primed);
}

static BDD parse_line(const struct Names *names, const struct Line *line) {
    struct Parser ps = {names, line->text, line->number, NULL, 0, 0, 0, 0};
    BDD r = keep(parse(&ps));
    const char *t;
    size_t n;
    if (next_token(&ps, &t, &n)) die("line %d: unexpected token '%.*s'", line->number, (int)n, t);
    free(ps.memo);
    return r;
}

/* Whether a formula line mentions a primed variable. */
static int mentions_primed(const char *text) {
    for (const char *s = text; *s != '\0'; s++) {
        if (*s == '\'') return 1;
    }
    return 0;
}

/* ---- the game --------------------------------------------------------------------------------- */

struct Game {
    BDD envIni, sysIni, envTrans, sysTrans;
    BDD *envJ, *sysJ;
    int envJSize, sysJSize;
    BDD envVars, sysVars, envPrimeVars, sysPrimeVars;
    bddPair *prime;
};

static BDD conj_into(BDD acc, BDD f) {
    BDD r = keep(bdd_and(acc, f));
    drop(acc);
    drop(f);
    return r;
}

static BDD cube_of(const int *vars, int n) {
    int *copy = xrealloc(NULL, sizeof *copy * (size_t)(n > 0 ? n : 1));
    memcpy(copy, vars, sizeof *copy * (size_t)n);
    BDD r = keep(bdd_makeset(copy, n));
    free(copy);
    return r;
}

static void build_game(const struct Spec *spec, struct Game *g, int nodes, int cache, int ratio) {
    /* One fresh system variable per liveness line over transitions. */
    int fresh = 0;
    for (int k = 0; k < spec->numLines; k++) {
        const struct Line *l = &spec->lines[k];
        if ((l->section == S_ENV_LIVENESS || l->section == S_SYS_LIVENESS) &&
            mentions_primed(l->text)) {
            fresh++;
        }
    }
    const int numVars = spec->numVars + fresh;
    if (bdd_init(nodes, cache) != 0) die("cannot start BuDDy");
    bdd_gbc_hook(quiet_gbc);
    bdd_setmaxincrease(1 << 26);
    if (ratio > 0) bdd_setcacheratio(ratio);
    if (bdd_setvarnum(2 * (numVars > 0 ? numVars : 1)) != 0) die("cannot create the variables");

    struct Names names;
    names_init(&names, spec->names, spec->numVars);
    memset(g, 0, sizeof *g);
    g->envIni = g->sysIni = g->envTrans = g->sysTrans = bdd_true();
    g->envJ = xrealloc(NULL, sizeof *g->envJ * (size_t)(spec->numLines + 1));
    g->sysJ = xrealloc(NULL, sizeof *g->sysJ * (size_t)(spec->numLines + 1));
    /* Recorders are numbered over the environment's liveness lines first, then the system's. */
    int nextFresh = spec->numVars, nextSysFresh = spec->numVars;
    for (int k = 0; k < spec->numLines; k++) {
        const struct Line *l = &spec->lines[k];
        if (l->section == S_ENV_LIVENESS && mentions_primed(l->text)) nextSysFresh++;
    }
    for (int k = 0; k < spec->numLines; k++) {
        const struct Line *l = &spec->lines[k];
        BDD f = parse_line(&names, l);
        switch (l->section) {
        case S_ENV_INIT: g->envIni = conj_into(g->envIni, f); break;
        case S_SYS_INIT: g->sysIni = conj_into(g->sysIni, f); break;
        case S_ENV_TRANS: g->envTrans = conj_into(g->envTrans, f); break;
        case S_SYS_TRANS: g->sysTrans = conj_into(g->sysTrans, f); break;
        case S_ENV_LIVENESS:
        case S_SYS_LIVENESS: {
            if (mentions_primed(l->text)) {
                /* r' <-> f on every transition; the justice becomes r. */
                const int r = l->section == S_ENV_LIVENESS ? nextFresh++ : nextSysFresh++;
                BDD next = keep(bdd_ithvar(2 * r + 1));
                BDD record = keep(bdd_biimp(next, f));
                drop(next);
                drop(f);
                g->sysTrans = conj_into(g->sysTrans, record);
                f = keep(bdd_ithvar(2 * r));
            }
            if (l->section == S_ENV_LIVENESS) g->envJ[g->envJSize++] = f;
            else g->sysJ[g->sysJSize++] = f;
            break;
        }
        default: die("line %d: formula outside a formula section", l->number);
        }
    }
    /* A missing or empty liveness section is the single justice "true". */
    if (g->envJSize == 0) g->envJ[g->envJSize++] = bdd_true();
    if (g->sysJSize == 0) g->sysJ[g->sysJSize++] = bdd_true();

    int *env = xrealloc(NULL, sizeof *env * (size_t)(numVars + 1));
    int *sys = xrealloc(NULL, sizeof *sys * (size_t)(numVars + 1));
    int *envP = xrealloc(NULL, sizeof *envP * (size_t)(numVars + 1));
    int *sysP = xrealloc(NULL, sizeof *sysP * (size_t)(numVars + 1));
    int ne = 0, ns = 0;
    g->prime = bdd_newpair();
    for (int v = 0; v < numVars; v++) {
        if (v < spec->numInputs) {
            env[ne] = 2 * v;
            envP[ne++] = 2 * v + 1;
        } else {
            sys[ns] = 2 * v;
            sysP[ns++] = 2 * v + 1;
        }
        bdd_setpair(g->prime, 2 * v, 2 * v + 1);
    }
    g->envVars = cube_of(env, ne);
    g->sysVars = cube_of(sys, ns);
    g->envPrimeVars = cube_of(envP, ne);
    g->sysPrimeVars = cube_of(sysP, ns);
    free(env);
    free(sys);
    free(envP);
    free(sysP);
    free(names.keys);
    free(names.values);
}

/* ---- the fixpoints -------------------------------------------------------------------------- */

struct Counters {
    long z, y, x;
};

static BDD prime(const struct Game *g, BDD p) { return keep(bdd_replace(p, g->prime)); }

/* Each controllable predecessor is computed in one of two ways: by default with every
   quantified conjunction made in one relational product, as tarn's solvers do; with --stepwise
   as a conjunction (or implication) followed by a separate quantification. */
static int stepwise = 0;

/* States from which the system can force the next state into p:
   forall env'. envTrans -> exists sys'. (p' and sysTrans). */
static BDD sys_cpre(const struct Game *g, BDD p) {
    BDD pp = prime(g, p);
    BDD b;
    if (stepwise) {
        BDD a = keep(bdd_and(pp, g->sysTrans));
        b = keep(bdd_exist(a, g->sysPrimeVars));
        drop(a);
    } else {
        b = keep(bdd_appex(pp, g->sysTrans, bddop_and, g->sysPrimeVars));
    }
    drop(pp);
    BDD r;
    if (stepwise) {
        BDD c = keep(bdd_imp(g->envTrans, b));
        r = keep(bdd_forall(c, g->envPrimeVars));
        drop(c);
    } else {
        r = keep(bdd_appall(g->envTrans, b, bddop_imp, g->envPrimeVars));
    }
    drop(b);
    return r;
}

/* States from which the environment can force the next state into p:
   exists env'. envTrans and forall sys'. (sysTrans -> p'). */
static BDD env_cpre(const struct Game *g, BDD p) {
    BDD pp = prime(g, p);
    BDD b;
    if (stepwise) {
        BDD a = keep(bdd_imp(g->sysTrans, pp));
        b = keep(bdd_forall(a, g->sysPrimeVars));
        drop(a);
    } else {
        b = keep(bdd_appall(g->sysTrans, pp, bddop_imp, g->sysPrimeVars));
    }
    drop(pp);
    BDD r;
    if (stepwise) {
        BDD c = keep(bdd_and(g->envTrans, b));
        r = keep(bdd_exist(c, g->envPrimeVars));
        drop(c);
    } else {
        r = keep(bdd_appex(g->envTrans, b, bddop_and, g->envPrimeVars));
    }
    drop(b);
    return r;
}

/* Every initial environment state has a system initial state in z. */
static int sys_wins_all_initial(const struct Game *g, BDD z) {
    BDD a = keep(bdd_and(z, g->sysIni));
    BDD b = keep(bdd_exist(a, g->sysVars));
    BDD c = keep(bdd_imp(g->envIni, b));
    BDD d = keep(bdd_forall(c, g->envVars));
    int all = d == bdd_true();
    drop(a);
    drop(b);
    drop(c);
    drop(d);
    return all;
}

/* Some initial environment state has every system initial state in z. */
static int env_wins_some_initial(const struct Game *g, BDD z) {
    BDD a = keep(bdd_imp(g->sysIni, z));
    BDD b = keep(bdd_forall(a, g->sysVars));
    BDD c = keep(bdd_and(g->envIni, b));
    int some = c != bdd_false();
    drop(a);
    drop(b);
    drop(c);
    return some;
}

/* Replaces a held value by a new one (both referenced). */
static BDD replace_held(BDD old, BDD fresh) {
    drop(old);
    return fresh;
}

/* Z = nu Z. and_j mu Y. or_i nu X. (sysJ_j and sysCpre(Z)) or sysCpre(Y) or (!envJ_i and
   sysCpre(X)), Z updated after every system justice. Keeps the X fixpoint of every (j, i, Y
   iteration), every Y iterate and every Z_j, as the solver memory does. */
static int gr1(const struct Game *g, struct Counters *n) {
    const int nS = g->sysJSize, nE = g->envJSize;
    int capacity = 50;
    BDD ***xMem = xrealloc(NULL, sizeof *xMem * (size_t)nS);
    BDD **yMem = xrealloc(NULL, sizeof *yMem * (size_t)nS);
    BDD *zMem = xrealloc(NULL, sizeof *zMem * (size_t)nS);
    int *count = xrealloc(NULL, sizeof *count * (size_t)nS);
    for (int j = 0; j < nS; j++) {
        xMem[j] = xrealloc(NULL, sizeof *xMem[j] * (size_t)(nE > 0 ? nE : 1));
        for (int i = 0; i < nE; i++) xMem[j][i] = xrealloc(NULL, sizeof(BDD) * (size_t)capacity);
        yMem[j] = xrealloc(NULL, sizeof(BDD) * (size_t)capacity);
        zMem[j] = bdd_false();
        count[j] = -1;
    }
    BDD z = bdd_true(), zPrev = -1;
    memset(n, 0, sizeof *n);
    for (;;) {
        if (zPrev != -1 && z == zPrev) break;
        n->z++;
        if (zPrev != -1) drop(zPrev);
        zPrev = keep(z);
        for (int j = 0; j < nS; j++) {
            int cy = 0;
            BDD y = bdd_false();
            BDD cz = sys_cpre(g, z);
            BDD start = keep(bdd_and(g->sysJ[j], cz));
            drop(cz);
            BDD yPrev = -1;
            for (;;) {
                if (yPrev != -1 && y == yPrev) break;
                n->y++;
                if (yPrev != -1) drop(yPrev);
                yPrev = y;  /* takes over y's reference */
                BDD cyPre = sys_cpre(g, yPrev);
                BDD yStart = keep(bdd_or(start, cyPre));
                drop(cyPre);
                y = bdd_false();
                for (int i = 0; i < nE; i++) {
                    BDD x = keep(z), xPrev = -1;
                    for (;;) {
                        if (xPrev != -1 && x == xPrev) break;
                        n->x++;
                        if (xPrev != -1) drop(xPrev);
                        xPrev = x;
                        BDD cx = sys_cpre(g, xPrev);
                        BDD t = keep(bdd_apply(cx, g->envJ[i], bddop_diff));
                        drop(cx);
                        x = keep(bdd_or(t, yStart));
                        drop(t);
                    }
                    drop(xPrev);
                    if (cy < count[j]) drop(xMem[j][i][cy]);
                    xMem[j][i][cy] = keep(x);
                    y = replace_held(y, keep(bdd_or(y, x)));
                    drop(x);
                }
                drop(yStart);
                if (cy < count[j]) drop(yMem[j][cy]);
                yMem[j][cy] = keep(y);
                cy++;
                if (cy == capacity) {
                    capacity *= 2;
                    for (int jj = 0; jj < nS; jj++) {
                        for (int i = 0; i < nE; i++) {
                            xMem[jj][i] = xrealloc(xMem[jj][i], sizeof(BDD) * (size_t)capacity);
                        }
                        yMem[jj] = xrealloc(yMem[jj], sizeof(BDD) * (size_t)capacity);
                    }
                }
            }
            drop(yPrev);
            drop(start);
            drop(z);
            z = y;
            count[j] = cy;
            drop(zMem[j]);
            zMem[j] = keep(z);
        }
    }
    drop(zPrev);
    int result = sys_wins_all_initial(g, z);
    drop(z);
    /* The memory stays referenced until the end, as the solver's memory stays after a solve. */
    return result;
}

/* Z = mu Z. or_j nu Y. and_i mu X. envCpre(Z) or (envJ_i and !sysJ_j and envCpre(Y)) or
   (!sysJ_j and envCpre(X)), Z accumulated after every system justice. Keeps every Z entry and
   every X iterate of the last Y iteration per Z entry, as the solver memory does. */
static int rabin(const struct Game *g, struct Counters *n) {
    const int nS = g->sysJSize, nE = g->envJSize;
    int zCapacity = 20 * nS, xCapacity = 50;
    BDD *zMem = xrealloc(NULL, sizeof *zMem * (size_t)zCapacity);
    BDD ***xMem = xrealloc(NULL, sizeof *xMem * (size_t)zCapacity);
    int **count = xrealloc(NULL, sizeof *count * (size_t)zCapacity);
    for (int r = 0; r < zCapacity; r++) {
        xMem[r] = xrealloc(NULL, sizeof *xMem[r] * (size_t)(nE > 0 ? nE : 1));
        count[r] = xrealloc(NULL, sizeof *count[r] * (size_t)(nE > 0 ? nE : 1));
        for (int i = 0; i < nE; i++) {
            xMem[r][i] = xrealloc(NULL, sizeof(BDD) * (size_t)xCapacity);
            count[r][i] = -1;
        }
    }
    BDD z = bdd_false(), zPrev = -1;
    int zi = 0;
    memset(n, 0, sizeof *n);
    for (;;) {
        if (zPrev != -1 && z == zPrev) break;
        n->z++;
        if (zPrev != -1) drop(zPrev);
        zPrev = keep(z);
        for (int j = 0; j < nS; j++) {
            int cy = 0;
            BDD y = bdd_true();
            BDD cz = env_cpre(g, z);
            BDD yPrev = -1;
            for (;;) {
                if (yPrev != -1 && y == yPrev) break;
                n->y++;
                if (yPrev != -1) drop(yPrev);
                yPrev = y;
                BDD cyPre = env_cpre(g, yPrev);
                BDD yTerm = keep(bdd_apply(cyPre, g->sysJ[j], bddop_diff));
                drop(cyPre);
                y = bdd_true();
                for (int i = 0; i < nE; i++) {
                    BDD t = keep(bdd_and(g->envJ[i], yTerm));
                    BDD b = keep(bdd_or(cz, t));
                    drop(t);
                    BDD x = bdd_false(), xPrev = -1;
                    int k = 0;
                    for (;;) {
                        if (xPrev != -1 && x == xPrev) break;
                        n->x++;
                        if (xPrev != -1) drop(xPrev);
                        xPrev = x;
                        BDD cx = env_cpre(g, xPrev);
                        BDD u = keep(bdd_apply(cx, g->sysJ[j], bddop_diff));
                        drop(cx);
                        x = keep(bdd_or(u, b));
                        drop(u);
                        if (k < count[zi][i]) drop(xMem[zi][i][k]);
                        xMem[zi][i][k] = keep(x);
                        k++;
                        if (k == xCapacity) {
                            xCapacity *= 2;
                            for (int r = 0; r < zCapacity; r++) {
                                for (int ii = 0; ii < nE; ii++) {
                                    xMem[r][ii] =
                                        xrealloc(xMem[r][ii], sizeof(BDD) * (size_t)xCapacity);
                                }
                            }
                        }
                    }
                    count[zi][i] = k;
                    drop(xPrev);
                    drop(b);
                    y = replace_held(y, keep(bdd_and(y, x)));
                    drop(x);
                }
                cy++;
                drop(yTerm);
            }
            drop(yPrev);
            drop(cz);
            BDD zNew = keep(bdd_or(z, y));
            drop(z);
            drop(y);
            z = zNew;
            zMem[zi++] = keep(z);
            if (zi == zCapacity) {
                int old = zCapacity;
                zCapacity *= 2;
                zMem = xrealloc(zMem, sizeof *zMem * (size_t)zCapacity);
                xMem = xrealloc(xMem, sizeof *xMem * (size_t)zCapacity);
                count = xrealloc(count, sizeof *count * (size_t)zCapacity);
                for (int r = old; r < zCapacity; r++) {
                    xMem[r] = xrealloc(NULL, sizeof *xMem[r] * (size_t)(nE > 0 ? nE : 1));
                    count[r] = xrealloc(NULL, sizeof *count[r] * (size_t)(nE > 0 ? nE : 1));
                    for (int i = 0; i < nE; i++) {
                        xMem[r][i] = xrealloc(NULL, sizeof(BDD) * (size_t)xCapacity);
                        count[r][i] = -1;
                    }
                }
            }
        }
    }
    drop(zPrev);
    int result = env_wins_some_initial(g, z);
    drop(z);
    return result;
}

/* ---- driver -------------------------------------------------------------------------------- */

static void usage(void) {
    die("usage: gamebuddy [--rabin | --check] [--stepwise] [--expect realizable|unrealizable] "
        "[--nodes N] [--cache N] [--cacheratio R] FILE.slugsin");
}

static int number_arg(const char *s) {
    char *end;
    long v = strtol(s, &end, 10);
    if (*end != '\0' || v < 0 || v > (1L << 30)) usage();
    return (int)v;
}

static void report(const char *solver, int realizable, const struct Counters *n, double buildMs,
                   double solveMs, double cpuMs) {
    printf("%s %s zIter=%ld yIter=%ld xIter=%ld buildMs=%.1f solveMs=%.1f cpuMs=%.1f "
           "peakKiB=%ld\n",
           solver, realizable ? "realizable" : "unrealizable", n->z, n->y, n->x, buildMs, solveMs,
           cpuMs, peak_kib());
    fflush(stdout);
}

int main(int argc, char **argv) {
    int runGr1 = 1, runRabin = 0, expect = -1;
    int nodes = 1 << 20, cache = 1 << 20, ratio = 1;
    const char *path = NULL;
    for (int k = 1; k < argc; k++) {
        if (strcmp(argv[k], "--rabin") == 0) {
            runGr1 = 0;
            runRabin = 1;
        } else if (strcmp(argv[k], "--stepwise") == 0) {
            stepwise = 1;
        } else if (strcmp(argv[k], "--check") == 0) {
            runGr1 = runRabin = 1;
        } else if (strcmp(argv[k], "--expect") == 0 && k + 1 < argc) {
            const char *v = argv[++k];
            if (strcmp(v, "realizable") == 0) expect = 1;
            else if (strcmp(v, "unrealizable") == 0) expect = 0;
            else usage();
        } else if (strcmp(argv[k], "--nodes") == 0 && k + 1 < argc) {
            nodes = number_arg(argv[++k]);
        } else if (strcmp(argv[k], "--cache") == 0 && k + 1 < argc) {
            cache = number_arg(argv[++k]);
        } else if (strcmp(argv[k], "--cacheratio") == 0 && k + 1 < argc) {
            ratio = number_arg(argv[++k]);
        } else if (argv[k][0] == '-' || path != NULL) {
            usage();
        } else {
            path = argv[k];
        }
    }
    if (path == NULL) usage();

    double t0 = now_ms();
    struct Spec spec;
    read_spec(path, &spec);
    struct Game game;
    build_game(&spec, &game, nodes, cache, ratio);
    const double buildMs = now_ms() - t0;

    int status = 0, gr1Verdict = -1, rabinVerdict = -1;
    struct Counters n;
    if (runGr1) {
        double w = now_ms(), c = cpu_ms();
        gr1Verdict = gr1(&game, &n);
        report("gr1", gr1Verdict, &n, buildMs, now_ms() - w, cpu_ms() - c);
        if (expect >= 0 && gr1Verdict != expect) status = 1;
    }
    if (runRabin) {
        double w = now_ms(), c = cpu_ms();
        const int envWins = rabin(&game, &n);
        rabinVerdict = !envWins;
        report("rabin", rabinVerdict, &n, buildMs, now_ms() - w, cpu_ms() - c);
        if (expect >= 0 && rabinVerdict != expect) status = 1;
    }
    if (runGr1 && runRabin && gr1Verdict != rabinVerdict) {
        fprintf(stderr, "gamebuddy: the GR(1) and Rabin verdicts are not complementary\n");
        status = 1;
    }
    if (expect >= 0 && status != 0) {
        fprintf(stderr, "gamebuddy: %s: expected %s\n", path, expect ? "realizable" : "unrealizable");
    }
    bdd_done();
    return status;
}
