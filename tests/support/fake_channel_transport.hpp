#pragma once
// A channel_transport for tests of whatever drives the channel: records the
// lines written, lets the test decide how connects end and what the master
// "sent". Header-only so any test executable can use it.
//
// Connect outcomes: by default connect() leaves `done` pending until the
// test calls complete_connect(). For tests with no moment to step in,
// complete_connects_through(post) hands the completion of every later
// connect to `post` (e.g. the operator executor's post), so `done` still
// never runs inside connect(), as the interface promises. Either way the
// outcome is the one set by set_connect_succeeds (true unless set).
//
// Thread-safe: the code under test may call it from its own thread while the
// test pushes input; callbacks run with no lock held.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "remote_mode/channel_transport.hpp"

namespace velmira::testing {

class fake_channel_transport final : public channel_transport {
 public:
  using poster = std::function<void(std::function<void()>)>;

  struct connect_request {
    std::string host;
    std::uint16_t port = 0;
  };

  // channel_transport

  // A connect still pending is abandoned with false, as the real one does.
  void connect(std::string host, std::uint16_t port, connect_handler done) override {
    connect_handler abandoned;
    poster post;
    {
      std::lock_guard lock(mutex_);
      discard_locked();
      connects_.push_back({std::move(host), port});
      abandoned = std::exchange(pending_done_, std::move(done));
      post = post_completions_;
    }
    if (abandoned) abandoned(false);
    if (post) post([this] { complete_connect(); });
  }

  bool is_open() const override {
    std::lock_guard lock(mutex_);
    return open_;
  }

  void write_line(std::string utf8_line) override {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    if (fail_writes_) return discard_locked();
    lines_.push_back(std::move(utf8_line));
  }

  std::optional<std::string> take_received() override {
    std::lock_guard lock(mutex_);
    if (!inbox_.empty()) return std::exchange(inbox_, {});
    if (!open_) return std::nullopt;
    return std::string();
  }

  void close() override {
    connect_handler abandoned;
    {
      std::lock_guard lock(mutex_);
      ++closes_;
      discard_locked();
      abandoned = std::exchange(pending_done_, nullptr);
    }
    if (abandoned) abandoned(false);
  }

  // Steering

  void set_connect_succeeds(bool succeeds) {
    std::lock_guard lock(mutex_);
    connect_succeeds_ = succeeds;
  }
  // Null turns it off. The fake must outlive what `post` queues.
  void complete_connects_through(poster post) {
    std::lock_guard lock(mutex_);
    post_completions_ = std::move(post);
  }
  // Ends the pending connect with the configured outcome; false when none
  // was pending.
  bool complete_connect() {
    connect_handler done;
    bool succeeds = false;
    {
      std::lock_guard lock(mutex_);
      done = std::exchange(pending_done_, nullptr);
      if (!done) return false;
      succeeds = connect_succeeds_;
      open_ = succeeds;
    }
    done(succeeds);
    return true;
  }
  // Text as the master would send it (UTF-8); one push is what one take
  // returns unless the test pushes again before the take.
  void push_received(std::string utf8) {
    std::lock_guard lock(mutex_);
    if (open_) inbox_ += utf8;
  }
  // The master ends the connection; what it sent before stays to be taken.
  void end_by_peer() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  // From now on a write closes the channel, as a broken connection does.
  void set_writes_fail(bool fail) {
    std::lock_guard lock(mutex_);
    fail_writes_ = fail;
  }

  // Observation

  std::vector<std::string> written_lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::vector<connect_request> connects() const {
    std::lock_guard lock(mutex_);
    return connects_;
  }
  bool connect_pending() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(pending_done_);
  }
  int closes() const {
    std::lock_guard lock(mutex_);
    return closes_;
  }

 private:
  void discard_locked() {
    open_ = false;
    inbox_.clear();
  }

  mutable std::mutex mutex_;
  bool connect_succeeds_ = true;
  poster post_completions_;
  bool fail_writes_ = false;
  bool open_ = false;
  connect_handler pending_done_;
  std::string inbox_;
  std::vector<std::string> lines_;
  std::vector<connect_request> connects_;
  int closes_ = 0;
};

}  // namespace velmira::testing
