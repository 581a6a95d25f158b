// Input and output redirection: the current input and output streams saved
// and restored on two stacks, and the stacks of reading and unget callbacks
// that a reader may put in front of its input.
#include "filters/framework/runtime/cv.h"

namespace {

// A push on a full stack is refused and counted, so that its matching pop
// takes back only the count and the enclosing levels keep their own streams.
int push(int* saved, int& depth, int& over, int& current, int handle) {
  if (depth == CV_NREDIR - 1) {
    over++;
    return -1;
  }
  saved[++depth] = current;
  current = handle;
  return 0;
}

int pop(int* saved, int& depth, int& over, int& current) {
  if (over > 0) {
    over--;
    return 0;
  }
  if (depth < 0) return -1;
  current = saved[depth];
  saved[depth--] = -1;
  return 0;
}

// The callback stacks: full at ten, the innermost entry cleared on a pop.
template <class F>
int pushcb(F* stack, int& top, F fn) {
  if (top == CV_NREDIR - 1) return -1;
  stack[++top] = fn;
  return 0;
}

template <class F>
int popcb(F* stack, int& top) {
  if (top < 0) return -1;
  stack[top--] = nullptr;
  return 0;
}

}  // namespace

int cvpushout(cvrun* run, int handle) { return push(run->outsaved, run->outdepth, run->outover, run->out, handle); }
int cvpopout(cvrun* run) { return pop(run->outsaved, run->outdepth, run->outover, run->out); }
int cvpushin(cvrun* run, int handle) { return push(run->insaved, run->indepth, run->inover, run->in, handle); }
int cvpopin(cvrun* run) { return pop(run->insaved, run->indepth, run->inover, run->in); }

int cvpushgetc(cvrun* run, cvgetcb_t fn) { return pushcb(run->getcbs, run->getidx, fn); }
int cvpopgetc(cvrun* run) { return popcb(run->getcbs, run->getidx); }
int cvpushungetc(cvrun* run, cvungetcb_t fn) { return pushcb(run->ungetcbs, run->ungetidx, fn); }
int cvpopungetc(cvrun* run) { return popcb(run->ungetcbs, run->ungetidx); }

int cvpushrdr(cvrun* run, cvgetcb_t get, cvungetcb_t unget) {
  if (run->getidx == CV_NREDIR - 1 || run->ungetidx == CV_NREDIR - 1) return -1;
  cvpushgetc(run, get);
  cvpushungetc(run, unget);
  return 0;
}

int cvpoprdr(cvrun* run) {
  if (run->getidx < 0 || run->ungetidx < 0) return -1;
  cvpopgetc(run);
  cvpopungetc(run);
  return 0;
}
