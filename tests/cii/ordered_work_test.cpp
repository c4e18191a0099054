// Work shared with a helper thread comes back in the order it was added, whoever did it,
// and what the work throws surfaces at its own chunk.
#include "cii/ordered_work.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace edi::cii {
namespace {

struct Numbers {
  std::vector<long long> in, out;
};

// Sums of squares up to each number: enough work per chunk that both threads take some.
void Square(Numbers& c) {
  c.out.clear();
  for (long long n : c.in) {
    long long sum = 0;
    for (long long k = 0; k <= n; ++k) sum += k * k;
    c.out.push_back(sum);
  }
}

TEST(OrderedWork, ChunksComeBackInOrderWithOrWithoutTheHelper) {
  for (bool helper : {false, true}) {
    SCOPED_TRACE(helper);
    int byHelper = 0;
    OrderedWork<Numbers> work(3, helper, [&byHelper](Numbers& c, int worker) {
      Square(c);
      if (worker == 1) ++byHelper;  // only the helper thread counts here
    });
    std::vector<long long> got;
    auto take = [&](Numbers& c) {
      got.insert(got.end(), c.out.begin(), c.out.end());
      work.PopFront();
    };
    for (long long chunk = 0; chunk < 300; ++chunk) {
      Numbers& c = work.Back();
      c.in.clear();
      for (long long k = 0; k < 20; ++k) c.in.push_back((chunk * 37 + k * 11) % 2000);
      work.Add();
      while (Numbers* done = work.FrontIfDone()) take(*done);
      if (work.Full()) take(work.Front());
    }
    while (!work.Empty()) take(work.Front());
    ASSERT_EQ(got.size(), 300u * 20);
    for (long long chunk = 0; chunk < 300; ++chunk) {
      for (long long k = 0; k < 20; ++k) {
        const long long n = (chunk * 37 + k * 11) % 2000;
        ASSERT_EQ(got[static_cast<std::size_t>(chunk * 20 + k)], n * (n + 1) * (2 * n + 1) / 6) << chunk;
      }
    }
    if (!helper) EXPECT_EQ(byHelper, 0);
  }
}

TEST(OrderedWork, WhatTheWorkThrowsSurfacesAtItsChunkAndPendingWorkIsLeftBehind) {
  for (bool helper : {false, true}) {
    SCOPED_TRACE(helper);
    int taken = 0;
    {
      OrderedWork<Numbers> work(4, helper, [](Numbers& c, int) {
        if (c.in.at(0) == 77) throw std::runtime_error("chunk 77");
        Square(c);
      });
      try {
        for (long long chunk = 0; chunk < 200; ++chunk) {
          work.Back().in.assign(1, chunk);
          work.Add();
          if (work.Full()) {
            work.Front();
            work.PopFront();
            ++taken;
          }
        }
        FAIL() << "no exception";
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "chunk 77");
      }
      // The object goes with chunks still added and maybe being worked on: it does not hang.
    }
    EXPECT_EQ(taken, 77);
  }
}

}  // namespace
}  // namespace edi::cii
