// The survey with one allocation made to fail, for every allocation it
// makes in turn: it must end in one of the outcomes memory exhaustion allows
// (a failure text, the out-of-memory message box with the quit request, or
// std::bad_alloc passed up to the caller), never in a crash or a leak.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "net/survey.h"
#include "tests/codec/alloc_failure.h"
#include "tests/net/pop3_script.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::Load;
using testing::LoginScript;
using testing::PeerAccount;
using testing::RecordingMessages;
using testing::RecordingStatus;
using testing::Script;
using testing::ScriptedPeer;
using testing::operator+;

TEST(SurveyMailbox, EveryAllocationFailureEndsSoundly) {
  const Script script =
      LoginScript() + Script{{'E', "STAT\r\n"},    {'S', "+OK 1 40\r\n"},
                             {'E', "LIST 1\r\n"},  {'S', "+OK 1 40\r\n"},
                             {'E', "TOP 1 2\r\n"}, {'S', "+OK\r\nSubject: s\r\n\r\nbody\r\n.\r\n"}};
  int completed = 0, failed = 0, boxed = 0, thrown = 0;
  for (long n = 0;; ++n) {
    ScriptedPeer peer;
    Load(&peer, script);
    peer.Start();
    Pop3Account account = PeerAccount(peer);
    RecordingStatus status("T");
    RecordingMessages messages;
    SurveyResult result;
    int code = 0;
    bool threw = false;
    testing::FailAllocationAfter(n);
    try {
      code = SurveyMailbox(&status, account, 2, &result, nullptr, &messages);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    bool fired = testing::StopFailingAllocations();
    peer.Finish(500);
    // Whatever happened, the connection was closed.
    for (const std::string& problem : peer.problems()) {
      EXPECT_EQ(problem.find("did not close"), std::string::npos) << n << ": " << problem;
    }
    if (!fired) {
      // Past the last allocation: the survey ran whole.
      ASSERT_EQ(code, 0) << result.error;
      ASSERT_EQ(result.mails.size(), 1u);
      EXPECT_EQ(result.mails[0].subject, "s");
      break;
    }
    if (threw) {
      ++thrown;
    } else if (code == -1) {
      ++failed;
      EXPECT_TRUE(result.mails.empty()) << n;
      EXPECT_FALSE(result.error.empty()) << n;
    } else if (!messages.shown.empty()) {
      ++boxed;
      ASSERT_EQ(messages.shown.size(), 1u) << n;
      EXPECT_EQ(messages.shown[0], "メモリが足りません");
      ASSERT_EQ(messages.quits.size(), 1u);
      EXPECT_EQ(messages.quits[0], -1);
    } else {
      ++completed;
      EXPECT_EQ(code, 0) << n;
    }
    ASSERT_LT(n, 5000) << "the survey never stopped allocating";
  }
  // The out-of-memory text of a gathered reply, and the message box of a
  // list that cannot grow, were both reached.
  EXPECT_GT(failed, 0);
  EXPECT_GT(boxed, 0);
  std::printf(
      "allocation failures: %d failure texts, %d message boxes, %d passed up, %d absorbed\n",
      failed, boxed, thrown, completed);
}

}  // namespace
}  // namespace tarnu
