// Writes parametric GR(1) specifications in the slugsin text format to standard output:
//
//   gamegen arbiter N     N clients, each with a request (input) and a grant (output)
//   gamegen arbiter-u N   the same without the release assumption of client 0 (unrealizable, N >= 2)
//   gamegen bus N         a bus controller: N masters, a slave ready line, bursts of four beats
//   gamegen bus-u N       the same without the assumption that the slave is ready infinitely often
//                         (unrealizable)
//
// Inputs are declared before outputs. Every liveness formula is over unprimed variables only, so a
// solver needs no transformation of the justices. The expected verdicts are printed in a comment
// line at the head of each file ("# expected: realizable" or "# expected: unrealizable").
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string name(const char *prefix, int i) { return prefix + std::to_string(i); }
std::string primed(const std::string &v) { return v + "'"; }
// Prefix forms of the connectives.
std::string neg(const std::string &a) { return "! " + a; }
std::string conj(const std::string &a, const std::string &b) { return "& " + a + " " + b; }
std::string disj(const std::string &a, const std::string &b) { return "| " + a + " " + b; }
std::string xorf(const std::string &a, const std::string &b) { return "^ " + a + " " + b; }
std::string iff(const std::string &a, const std::string &b) { return neg(xorf(a, b)); }
std::string implies(const std::string &a, const std::string &b) { return disj(neg(a), b); }
std::string all(const Lines &terms) {
    if (terms.empty()) return "1";
    std::string f = terms.back();
    for (size_t k = terms.size() - 1; k-- > 0;) f = conj(terms[k], f);
    return f;
}
std::string any(const Lines &terms) {
    if (terms.empty()) return "0";
    std::string f = terms.back();
    for (size_t k = terms.size() - 1; k-- > 0;) f = disj(terms[k], f);
    return f;
}

struct Spec {
    Lines inputs, outputs, envInit, sysInit, envTrans, sysTrans, envLiveness, sysLiveness;
    bool realizable = true;
    std::string title;
};

void print(const Spec &s) {
    printf("# %s\n# expected: %s\n", s.title.c_str(), s.realizable ? "realizable" : "unrealizable");
    auto section = [](const char *header, const Lines &lines) {
        printf("\n[%s]\n", header);
        for (const std::string &l : lines) printf("%s\n", l.c_str());
    };
    section("INPUT", s.inputs);
    section("OUTPUT", s.outputs);
    section("ENV_INIT", s.envInit);
    section("SYS_INIT", s.sysInit);
    section("ENV_TRANS", s.envTrans);
    section("SYS_TRANS", s.sysTrans);
    section("ENV_LIVENESS", s.envLiveness);
    section("SYS_LIVENESS", s.sysLiveness);
}

// Client i raises its request r_i and keeps it until it holds the grant g_i; a granted client
// eventually lowers its request. The arbiter grants at most one client at a time, changes g_i only
// while r_i and g_i differ, and serves every client infinitely often (r_i = g_i).
Spec arbiter(int n, bool releaseOfClient0) {
    Spec s;
    s.title = "arbiter with " + std::to_string(n) + " clients" +
              (releaseOfClient0 ? "" : ", client 0 never has to release");
    s.realizable = releaseOfClient0 || n < 2;
    for (int i = 0; i < n; i++) s.inputs.push_back(name("r", i));
    for (int i = 0; i < n; i++) s.outputs.push_back(name("g", i));
    for (int i = 0; i < n; i++) {
        const std::string r = name("r", i), g = name("g", i);
        s.envInit.push_back(neg(r));
        s.sysInit.push_back(neg(g));
        s.envTrans.push_back(implies(xorf(r, g), iff(r, primed(r))));
        s.sysTrans.push_back(implies(iff(r, g), iff(g, primed(g))));
        if (i > 0 || releaseOfClient0) s.envLiveness.push_back(neg(conj(r, g)));
        s.sysLiveness.push_back(iff(r, g));
        for (int k = i + 1; k < n; k++) s.sysTrans.push_back(neg(conj(primed(g), primed(name("g", k)))));
    }
    return s;
}

// Master i raises req_i and keeps it until granted (g_i); a granted master eventually lowers it.
// A new grant starts a burst (busy) of four beats, counted by c0 c1, one beat per step in which the
// slave is ready; grants stay fixed during a burst, a requesting master keeps its grant, and the
// owner bits o name the granted master. The controller serves every master and ends every burst.
Spec bus(int n, bool readyInfinitelyOften) {
    constexpr int kCounterBits = 2;
    int ownerBits = 1;
    while ((1 << ownerBits) < n) ownerBits++;
    Spec s;
    s.title = "bus controller with " + std::to_string(n) + " masters" +
              (readyInfinitelyOften ? "" : ", the slave may stay busy forever");
    s.realizable = readyInfinitelyOften;
    for (int i = 0; i < n; i++) s.inputs.push_back(name("req", i));
    s.inputs.push_back("ready");
    for (int i = 0; i < n; i++) s.outputs.push_back(name("g", i));
    s.outputs.push_back("busy");
    for (int m = 0; m < kCounterBits; m++) s.outputs.push_back(name("c", m));
    for (int m = 0; m < ownerBits; m++) s.outputs.push_back(name("o", m));

    Lines rises;
    for (int i = 0; i < n; i++) {
        const std::string req = name("req", i), g = name("g", i);
        s.envInit.push_back(neg(req));
        s.sysInit.push_back(neg(g));
        s.envTrans.push_back(implies(conj(req, neg(g)), primed(req)));
        s.envLiveness.push_back(neg(conj(req, g)));
        s.sysLiveness.push_back(neg(conj(req, neg(g))));
        for (int k = i + 1; k < n; k++) s.sysTrans.push_back(neg(conj(primed(g), primed(name("g", k)))));
        s.sysTrans.push_back(implies(conj(g, req), primed(g)));
        s.sysTrans.push_back(implies("busy", iff(g, primed(g))));
        const std::string rise = conj(neg(g), primed(g));
        s.sysTrans.push_back(implies(rise, "busy'"));
        rises.push_back(rise);
        Lines owner;
        for (int m = 0; m < ownerBits; m++) {
            const std::string o = primed(name("o", m));
            owner.push_back((i >> m) & 1 ? o : neg(o));
        }
        s.sysTrans.push_back(implies(primed(g), all(owner)));
    }
    if (readyInfinitelyOften) s.envLiveness.push_back("ready");
    s.sysLiveness.push_back(neg("busy"));
    s.sysInit.push_back(neg("busy"));
    // Bursts start only with a new grant; the counter rests at zero between bursts.
    s.sysTrans.push_back(implies(conj(neg("busy"), "busy'"), any(rises)));
    Lines increment, hold;
    std::string carry = "1";
    for (int m = 0; m < kCounterBits; m++) {
        const std::string c = name("c", m);
        s.sysInit.push_back(neg(c));
        s.sysTrans.push_back(implies(neg("busy"), neg(primed(c))));
        hold.push_back(iff(c, primed(c)));
        increment.push_back(iff(primed(c), m == 0 ? neg(c) : xorf(c, carry)));
        carry = m == 0 ? c : conj(c, carry);
    }
    for (int m = 0; m < ownerBits; m++) s.sysInit.push_back(neg(name("o", m)));
    // A busy step without the slave holds the burst; with it, one beat is counted, and the burst
    // ends when the counter wraps to zero.
    s.sysTrans.push_back(implies(conj("busy", neg("ready'")), conj(all(hold), "busy'")));
    Lines nonzero;
    for (int m = 0; m < kCounterBits; m++) nonzero.push_back(primed(name("c", m)));
    s.sysTrans.push_back(
        implies(conj("busy", "ready'"), conj(all(increment), iff("busy'", any(nonzero)))));
    return s;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: gamegen arbiter|arbiter-u|bus|bus-u N\n");
        return 2;
    }
    const std::string family = argv[1];
    char *end = nullptr;
    const long n = strtol(argv[2], &end, 10);
    if (*end != '\0' || n < 1 || n > 4096) {
        fprintf(stderr, "gamegen: N must be a number from 1 to 4096\n");
        return 2;
    }
    const int size = static_cast<int>(n);
    if (family == "arbiter") {
        print(arbiter(size, true));
    } else if (family == "arbiter-u") {
        print(arbiter(size, false));
    } else if (family == "bus") {
        print(bus(size, true));
    } else if (family == "bus-u") {
        print(bus(size, false));
    } else {
        fprintf(stderr, "gamegen: unknown family %s\n", family.c_str());
        return 2;
    }
    return 0;
}
