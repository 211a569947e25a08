// Threads and semaphores: a thread's end and result, counts handed between
// threads, timeouts, a count past the maximum, and signals kept from threads;
// the processors to run them on; holds of interrupts, which nest.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include "platform/platform.h"

namespace {

struct PingPong {
  HANDLE ping;
  HANDLE pong;
  int rounds;
  int seen;
  bool signalsBlocked;
};

DWORD WINAPI answer(LPVOID parameter) {
  PingPong* game = static_cast<PingPong*>(parameter);
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  game->signalsBlocked = sigismember(&mask, SIGINT) && sigismember(&mask, SIGTERM);
  for (int i = 0; i < game->rounds; i++) {
    if (WaitForSingleObject(game->ping, INFINITE) != WAIT_OBJECT_0) return 1;
    game->seen++;
    ReleaseSemaphore(game->pong, 1, nullptr);
  }
  return 42;
}

TEST(Threads, SemaphoresHandTurnsAndAThreadEndsWithItsResult) {
  PingPong game = {CreateSemaphoreA(nullptr, 0, 1, nullptr),
                   CreateSemaphoreA(nullptr, 0, 1, nullptr), 1000, 0, false};
  ASSERT_NE(game.ping, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, answer, &game, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  for (int i = 0; i < game.rounds; i++) {
    ASSERT_TRUE(ReleaseSemaphore(game.ping, 1, nullptr));
    ASSERT_EQ(WaitForSingleObject(game.pong, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(game.seen, i + 1);
  }
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // ended stays ended
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(game.signalsBlocked);
  for (HANDLE h : {thread, game.ping, game.pong}) EXPECT_TRUE(CloseHandle(h));
}

TEST(Threads, CountsTimeoutsAndLimits) {
  HANDLE s = CreateSemaphoreA(nullptr, 2, 3, nullptr);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 10), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(s, 20), WAIT_TIMEOUT);
  LONG before = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 3, &before));
  EXPECT_EQ(before, 0);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, &before));  // past the maximum: nothing added
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  EXPECT_EQ(before, 3);
  EXPECT_EQ(CreateSemaphoreA(nullptr, 4, 3, nullptr), nullptr);
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
  EXPECT_TRUE(CloseHandle(s));
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
}

volatile sig_atomic_t handled = 0;
void onSignal(int) { handled = handled + 1; }

// A signal that comes while interrupts are held waits until the last hold
// ends; one the process ignores does not count as waiting.
TEST(Threads, HoldsOfInterruptsNest) {
  struct Case {
    void (*action)(int);
    bool waits;
  } cases[] = {{onSignal, true}, {SIG_IGN, false}};
  for (const Case& c : cases) {
    struct sigaction action = {}, before;
    action.sa_handler = c.action;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &before), 0);
    handled = 0;
    plat_hold_interrupts();
    plat_hold_interrupts();
    raise(SIGUSR1);
    EXPECT_EQ(plat_interrupt_pending(), c.waits ? TRUE : FALSE);
    plat_release_interrupts();
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(plat_interrupt_pending(), c.waits ? TRUE : FALSE);
    plat_pass_stops();  // no stop waits: nothing happens
    EXPECT_EQ(handled, 0);
    plat_release_interrupts();
    EXPECT_EQ(handled, c.waits ? 1 : 0);
    EXPECT_FALSE(plat_interrupt_pending());
    plat_release_interrupts();  // one too many: nothing held, nothing happens
    sigaction(SIGUSR1, &before, nullptr);
  }
}

}  // namespace
