#include "remote_mode/remote_administration.hpp"

#include <boost/asio/post.hpp>

#include "core/fields.hpp"
#include "core/text_codec.hpp"
#include "remote_mode/admin_message.hpp"

namespace velmira {

namespace {

constexpr const char* missing_data_message =
    "Не указаны данные удаленного администрирования или основной порт TCP\n"
    "Проверьте настройки\n"
    "Сервер переведен в локальный режим.";
constexpr const char* unreachable_log_text = "удаленный сервер недоступен. Попробуйте позже.";
constexpr const char* unreachable_message =
    "Удаленный сервер недоступен. Попробуйте позже.\n"
    "Сервер переведен в локальный режим.";
constexpr const char* refusal_text =
    "В удаленном доступе отказано. Либо на сервере отключен удаленный доступ, либо не верно указаны логин и "
    "пароль удаленного администрирования";

bool channel_data_complete(const settings_page& s) {
  return !s.admin_login.empty() && !s.admin_password.empty() && !s.master_address.empty() &&
         chislo(s.main_tcp_port) != 0;
}

}  // namespace

remote_administration::remote_administration(boost::asio::io_context& network,
                                             boost::asio::io_context& operator_context, channel_transport& transport,
                                             const settings_page& settings, const settings_file& file,
                                             const data_directory& data, remote_owner& owner)
    : network_(network),
      operator_context_(operator_context),
      transport_(transport),
      settings_(settings),
      file_(file),
      data_(data),
      owner_(owner),
      poll_timer_(operator_context) {}

void remote_administration::NaUdServerSend(std::string_view command, std::string_view payload) {
  if (!channel_data_complete(settings_)) {
    owner_.show_message(missing_data_message);
    owner_.switch_to_local();
    return;
  }
  auto line = admin_message(command, settings_.admin_login, settings_.admin_password, payload);
  if (connecting_) return waiting_.push_back(std::move(line));
  if (transport_.is_open()) return send_now(std::move(line));
  connecting_ = true;
  waiting_.push_back(std::move(line));
  // The port is the local main port: master and copy use the same one.
  auto port = static_cast<std::uint16_t>(chislo(settings_.main_tcp_port));
  transport_.connect(to_utf8(settings_.master_address), port,
                     [this](bool connected) {
                       boost::asio::post(operator_context_, [this, connected] { on_connected(connected); });
                     });
}

void remote_administration::on_connected(bool connected) {
  connecting_ = false;
  if (!connected) {
    waiting_.clear();
    owner_.log(unreachable_log_text);
    owner_.show_message(unreachable_message);
    owner_.switch_to_local();
    return;
  }
  while (!waiting_.empty()) {
    send_now(std::move(waiting_.front()));
    waiting_.pop_front();
  }
}

void remote_administration::send_now(std::string line) {
  start_poll();
  transport_.write_line(std::move(line));
}

void remote_administration::start_poll() {
  if (polling_) return;
  polling_ = true;
  arm_poll();
}

void remote_administration::arm_poll() {
  poll_timer_.expires_after(poll_interval);
  poll_timer_.async_wait([this](boost::system::error_code ec) {
    if (ec) return;
    Timer4Timer();
    arm_poll();
  });
}

void remote_administration::Timer4Timer() {
  // A pull in progress is the rest of this tick's work: nothing is read
  // until it ends, and what arrived meanwhile goes with the channel.
  if (pulling_) return;
  auto received = transport_.take_received();
  if (!received) return TCPDis();
  if (received->empty()) return;
  auto reply = classify_reply(*received);
  switch (reply.kind) {
    case reply_kind::accepted:
      return start_pull();
    case reply_kind::refused:
      return on_refused();
    case reply_kind::message:
      owner_.log(reply.text);
      owner_.show_message(reply.text);
      return TCPDis();
    case reply_kind::ignored:
      return;
  }
}

void remote_administration::start_pull() {
  pulling_ = true;
  // The local file's HTTP port and credentials: the page may show the
  // master's copy by now.
  master_source source{to_utf8(settings_.master_address), static_cast<std::uint16_t>(chislo(file_.port_HTTP)),
                       settings_.admin_login,           settings_.admin_password,
                       file_.login_HTTP,                file_.pas_HTTP};
  start_master_pull(network_, operator_context_.get_executor(), std::move(source), data_, *this);
}

void remote_administration::finished() {
  owner_.finished();
  pulling_ = false;
  TCPDis();
}

void remote_administration::on_refused() {
  owner_.log(refusal_text);
  TCPDis();
  // On the "Сервер" page the operator asked for the data and sees the log
  // line; elsewhere the copy cannot go on editing the master's data.
  if (owner_.server_page_shown()) return;
  owner_.fall_back_after_refusal();
  owner_.show_message(refusal_text);
}

void remote_administration::TCPDis() { transport_.close(); }

}  // namespace velmira
