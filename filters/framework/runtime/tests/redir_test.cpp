// Redirection of the current input and output: ten levels, the refused
// push and its matching pop, and the stacks of reading callbacks.
#include <gtest/gtest.h>

#include "filters/framework/runtime/tests/cvtest.h"

namespace {

int getnone(cvrun*) { return -1; }
int ungetnone(cvrun*, int) { return 0; }

TEST(Redirect, TenLevelsAndARefusedEleventh) {
  cvtestrun t;
  cvrun* run = t.run;
  int first = run->out;
  for (int i = 0; i < 10; i++) EXPECT_EQ(cvpushout(run, 100 + i), 0) << i;
  EXPECT_EQ(cvpushout(run, 110), -1);
  EXPECT_EQ(run->out, 109);
  // The refused push's pop takes back only the count: the tenth stays.
  EXPECT_EQ(cvpopout(run), 0);
  EXPECT_EQ(run->out, 109);
  for (int i = 9; i >= 0; i--) {
    EXPECT_EQ(cvpopout(run), 0);
    EXPECT_EQ(run->out, i == 0 ? first : 100 + i - 1);
  }
  EXPECT_EQ(cvpopout(run), -1);
  EXPECT_EQ(run->out, first);
  for (int s : run->outsaved) EXPECT_EQ(s, -1);
}

TEST(Redirect, PushPopRestoresInput) {
  cvtestrun t;
  cvrun* run = t.run;
  EXPECT_EQ(cvpopin(run), -1);
  cvpushin(run, 7);
  cvpushin(run, 8);
  EXPECT_EQ(run->in, 8);
  cvpopin(run);
  cvpopin(run);
  EXPECT_EQ(run->in, -1);
  EXPECT_EQ(run->insaved[0], -1);
  EXPECT_EQ(run->insaved[1], -1);
  for (int i = 0; i < 12; i++) cvpushin(run, i);
  for (int i = 0; i < 12; i++) cvpopin(run);
  EXPECT_EQ(run->in, -1);
}

TEST(Redirect, ReadingCallbacks) {
  cvtestrun t;
  cvrun* run = t.run;
  for (int i = 0; i < 10; i++) ASSERT_EQ(cvpushgetc(run, getnone), 0);
  EXPECT_EQ(cvpushgetc(run, getnone), -1);
  // A full reading stack: cvpushrdr pushes neither.
  EXPECT_EQ(cvpushrdr(run, getnone, ungetnone), -1);
  EXPECT_EQ(run->ungetidx, -1);
  // An empty unget stack: cvpoprdr pops neither.
  EXPECT_EQ(cvpoprdr(run), -1);
  EXPECT_EQ(run->getidx, 9);
  for (int i = 0; i < 10; i++) ASSERT_EQ(cvpopgetc(run), 0);
  EXPECT_EQ(cvpopgetc(run), -1);
  EXPECT_EQ(cvpushrdr(run, getnone, ungetnone), 0);
  EXPECT_EQ(run->getcbs[0], getnone);
  EXPECT_EQ(run->ungetcbs[0], ungetnone);
  EXPECT_EQ(cvpoprdr(run), 0);
  EXPECT_EQ(run->getcbs[0], nullptr);
  EXPECT_EQ(cvpopungetc(run), -1);
}

}  // namespace
