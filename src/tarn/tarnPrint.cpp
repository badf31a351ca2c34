// Printing diagrams for diagnosis, to the manager's output stream: a summary line (nodes, leaves,
// minterms), the list of every node, and every path to a non-zero constant as a cube.
#include <cstdio>

#include "../st/st.h"
#include "tarnInt.h"

namespace {

// A node's identifier: nodes are 32-byte records, so the address shifted right by 5 bits.
inline unsigned long long identifier(const DdNode *n) {
    return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(n) >> 5);
}
inline char markOf(DdNode *f) { return tarnIsComplement(f) ? '!' : ' '; }

int printNodeRecur(DdManager *dd, st_table *visited, DdNode *f);
void printPathsRecur(DdManager *dd, DdNode *f, char *cube);

}  // namespace

// ---- public operations -------------------------------------------------------------------------

int Tarn_PrintSummary(DdManager *dd, DdNode *f, int n, int level) {
    FILE *out = dd->out;
    if (f == nullptr) {
        fprintf(out, ": is the NULL DD\n");
        fflush(out);
        dd->errorCode = TARN_INVALID_ARGUMENT;
        return 0;
    }
    if (f == dd->zero || f == tarnNot(dd->one)) {
        if (level > 0) {
            fprintf(out, ": is the zero DD\n");
            fflush(out);
        }
        return 1;
    }
    if (level <= 0) return 1;

    int status = 1;
    const int nodes = Tarn_DagSize(f);
    const int leaves = Tarn_CountLeaves(f);
    const double minterms = Tarn_CountMinterms(dd, f, n);
    if (minterms != -1.0) {
        fprintf(out, ": %d nodes %d leaves %g minterms\n", nodes, leaves, minterms);
        if (nodes == -1 || leaves == -1) status = 0;
    } else {
        fprintf(out, ": %d nodes %d leaves unknown minterms\n", nodes, leaves);
        status = 0;
    }
    if (level > 2 && !tarnPrintNodeList(dd, f)) status = 0;
    if (level == 2 || level > 3) {
        if (!tarnPrintPaths(dd, f)) status = 0;
        fprintf(out, "\n");
    }
    fflush(out);
    return status;
}

int tarnPrintNodeList(DdManager *dd, DdNode *f) {
    st_table *visited = st_init_table(st_compare_addresses, st_hash_address);
    if (visited == nullptr) return 0;
    const int status = printNodeRecur(dd, visited, f);
    st_release_table(visited);
    fprintf(dd->out, "\n");
    return status;
}

int tarnPrintPaths(DdManager *dd, DdNode *f) {
    const int size = dd->size;
    // one character per variable: '0', '1' or '-' (not on the path)
    char *cube = static_cast<char *>(tarnGuardedMalloc(dd, static_cast<size_t>(size) + 1));
    if (cube == nullptr) {
        dd->errorCode = TARN_OUT_OF_MEMORY;
        return 0;
    }
    for (int i = 0; i < size; i++) cube[i] = '-';
    cube[size] = '\0';
    printPathsRecur(dd, f, cube);
    util_free(cube);
    return 1;
}

// ---- recursive steps ---------------------------------------------------------------------------

namespace {

// Prints the node of handle f unless it was printed already, then its else-child's node and its
// then-child's node.
int printNodeRecur(DdManager *dd, st_table *visited, DdNode *f) {
    FILE *out = dd->out;
    DdNode *N = tarnRegular(f);
    if (tarnIsConstantRegular(N)) {
        fprintf(out, "ID = %c0x%llx\tvalue = %-9g\n", markOf(f), identifier(N), N->value);
        return 1;
    }
    if (st_lookup(visited, reinterpret_cast<st_key>(N), nullptr)) return 1;
    if (st_add_entry(visited, reinterpret_cast<st_key>(N), 0) == ST_NO_MEMORY) return 0;

    fprintf(out, "ID = %c0x%llx\tindex = %u\t", markOf(f), identifier(N), N->index);
    DdNode *T = N->T;
    if (tarnIsConstantRegular(T)) {
        fprintf(out, "T = %-9g\t", T->value);
    } else {
        fprintf(out, "T = 0x%llx\t", identifier(T));
    }
    DdNode *E = N->E;
    DdNode *Er = tarnRegular(E);
    int status = 1;
    if (tarnIsConstantRegular(Er)) {
        fprintf(out, "E = %c%-9g\n", markOf(E), Er->value);
    } else {
        fprintf(out, "E = %c0x%llx\n", markOf(E), identifier(Er));
        status = printNodeRecur(dd, visited, Er);
    }
    if (status && !tarnIsConstantRegular(T)) status = printNodeRecur(dd, visited, T);
    return status;
}

// Walks every path of f, else-branch first; at a constant other than the background and the
// logical zero, prints the cube of the path and the constant's value.
void printPathsRecur(DdManager *dd, DdNode *f, char *cube) {
    DdNode *N = tarnRegular(f);
    if (tarnIsConstantRegular(N)) {
        if (f == dd->background || f == tarnNot(dd->one)) return;
        fprintf(dd->out, "%s % g\n", cube, N->value);
        return;
    }
    cube[N->index] = '0';
    printPathsRecur(dd, tarnElseOf(f), cube);
    cube[N->index] = '1';
    printPathsRecur(dd, tarnThenOf(f), cube);
    cube[N->index] = '-';
}

}  // namespace
