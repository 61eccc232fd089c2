// The claim on an instance: the first host owns it, a later one is answered by it, and a lock
// holder that never listens is not displaced.

#include "instance_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "support/temp_dir.h"

namespace strivex::host_app {
namespace {

using Outcome = InstanceSocket::Outcome;

TEST(InstanceSocket, ALaterClaimIsAnsweredByTheOwnerUntilItEnds) {
  const testing::TempDir dir;
  const std::string runtime = (dir / "strivex").string();
  InstanceSocket::Claim owner = InstanceSocket::Take(runtime, "bench-1");
  ASSERT_EQ(owner.outcome, Outcome::kOwner) << owner.text;
  EXPECT_EQ(InstanceSocket::Take(runtime, "bench-2").outcome, Outcome::kOwner) << "another instance";

  auto later = std::async(std::launch::async, [&] { return InstanceSocket::Take(runtime, "bench-1"); });
  pollfd request{owner.socket->fd(), POLLIN, 0};
  ASSERT_EQ(poll(&request, 1, 10'000), 1);
  owner.socket->Serve([] { return std::string("shown window=7"); });
  const InstanceSocket::Claim answered = later.get();
  EXPECT_EQ(answered.outcome, Outcome::kAnswered);
  EXPECT_EQ(answered.text, "shown window=7");

  owner.socket.reset();
  EXPECT_FALSE(std::filesystem::exists(runtime + "/bench-1.sock"));
  EXPECT_EQ(InstanceSocket::Take(runtime, "bench-1").outcome, Outcome::kOwner);
}

TEST(InstanceSocket, ALockHolderThatDoesNotListenIsNotDisplaced) {
  const testing::TempDir dir;
  const std::string runtime = (dir / "strivex").string();
  std::filesystem::create_directories(runtime);
  const int held = open((runtime + "/bench-1.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const InstanceSocket::Claim claim = InstanceSocket::Take(runtime, "bench-1");
  EXPECT_EQ(claim.outcome, Outcome::kFailed);
  EXPECT_NE(claim.text.find("does not listen"), std::string::npos) << claim.text;
  EXPECT_FALSE(std::filesystem::exists(runtime + "/bench-1.sock"));
  close(held);
}

}  // namespace
}  // namespace strivex::host_app
