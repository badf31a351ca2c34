// Shared fixture of the package's unit tests: a small manager with a modest memory budget.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tarn/tarnInt.h"

constexpr uint64_t kTestMemory = uint64_t{64} << 20;

class ManagerTest : public ::testing::Test {
protected:
    DdManager *dd = nullptr;

    void SetUp() override { dd = Tarn_Init(4, 0, 8, 256, kTestMemory); }
    void TearDown() override { Tarn_Quit(dd); }

    DdNode *one() const { return dd->one; }
    DdNode *zero() const { return tarnNot(dd->one); }
    DdNode *var(int i) { return Tarn_BddIthVar(dd, i); }

    // The node (index, T, E) of the BDD rules: a complemented then-child moves its mark outward.
    DdNode *node(int index, DdNode *T, DdNode *E) {
        bool complement = tarnIsComplement(T);
        DdNode *n = tarnUniqueInter(dd, index, tarnRegular(T), tarnNotCond(E, complement));
        return n == nullptr ? nullptr : tarnNotCond(n, complement);
    }

    // Live nodes seen from the counters.
    unsigned live() const { return dd->keys - dd->dead; }

    // Nodes at a level, counted by walking its chains.
    unsigned chainNodes(int level) const {
        const DdSubtable &t = dd->subtables[level];
        unsigned count = 0;
        for (unsigned j = 0; j < t.slots; j++) {
            for (DdNode *n = t.buckets[j]; n != &dd->sentinel; n = n->next) count++;
        }
        return count;
    }
};

// Collects what the manager writes to one of its streams (read and set by the two functions)
// while the object lives.
template <FILE *(*Read)(DdManager *), void (*Set)(DdManager *, FILE *)>
class StreamCapture {
public:
    explicit StreamCapture(DdManager *dd) : dd_(dd), saved_(Read(dd)) {
        stream_ = open_memstream(&text_, &size_);
        Set(dd, stream_);
    }
    ~StreamCapture() {
        Set(dd_, saved_);
        fclose(stream_);
        free(text_);
    }
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;
    std::string text() {
        fflush(stream_);
        return std::string(text_, size_);
    }

private:
    DdManager *dd_;
    FILE *saved_;
    FILE *stream_ = nullptr;
    char *text_ = nullptr;
    size_t size_ = 0;
};

using ErrStream = StreamCapture<Tarn_ReadStderr, Tarn_SetStderr>;
using OutStream = StreamCapture<Tarn_ReadStdout, Tarn_SetStdout>;
