#include "workspace_server.hpp"

#include <cctype>
#include <csignal>
#include <exception>
#include <stdexcept>
#include <thread>

#include <httplib.h>
#include <pthread.h>

#include "cell_json.hpp"
#include "embedded_assets.hpp"
#include "request_error.hpp"
#include "tabvora/error.hpp"

namespace tabvora::workspace {

namespace {

using HandlerResponse = httplib::Server::HandlerResponse;

constexpr const char* kJSON = "application/json; charset=utf-8";

void sendJSON(httplib::Response& res, const nlohmann::json& value) { res.set_content(jsonText(value), kJSON); }

void sendError(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(jsonText({{"error", message}}), kJSON);
}

// The status a failure of the file or a statement answers with.
int statusOf(const Error& error) {
  switch (error.errorCode()) {
    case ErrorCode::invalidArgument: return 400;
    case ErrorCode::writeRefused: return 409;
    case ErrorCode::limitExceeded: return 413;
    default: return 422;
  }
}

// Runs a route's body with its failures answered as {"error": message}: a failing request
// is answered and forgotten, the server goes on.
template <typename Body>
void answering(httplib::Response& res, Body&& body) {
  try {
    body();
  } catch (const RequestError& error) {
    sendError(res, error.status(), error.what());
  } catch (const Error& error) {
    sendError(res, statusOf(error), error.message());
  } catch (const std::exception& error) {
    sendError(res, 500, error.what());
  }
}

nlohmann::json bodyJSON(const httplib::Request& req) {
  nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) throw RequestError(400, "The request body must be a JSON object.");
  return body;
}

int bindPort(httplib::Server& server, const std::optional<int>& port) {
  // An answer's head and body leave in separate writes: without this the body waits for
  // the browser's delayed acknowledgement of the head (about 40 ms a request). Set on the
  // listening socket, which the answering ones take it from.
  server.set_tcp_nodelay(true);
  if (port) {
    if (*port < 1 || *port > 65535) throw std::runtime_error("the port must be from 1 to 65535");
    if (!server.bind_to_port("127.0.0.1", *port))
      throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(*port) + " (in use?)");
    return *port;
  }
  const int bound = server.bind_to_any_port("127.0.0.1");
  if (bound <= 0) throw std::runtime_error("cannot listen on any port of 127.0.0.1");
  return bound;
}

std::string attachmentName(const std::string& table, ExportFormat format) {
  std::string name;
  for (char c : table) name += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
  if (name.empty()) name = "table";
  return name + "." + std::string(format.fileExtension());
}

}  // namespace

WorkspaceServer::WorkspaceServer(WorkspaceSession& session, const Options& options)
    : session_(session),
      options_(options),
      server_(std::make_unique<httplib::Server>()),
      guard_(bindPort(*server_, options.port), randomSecret(), randomSecret()) {
  server_->set_payload_max_length(kMaxBodyBytes);
  server_->set_read_timeout(std::chrono::seconds(10));
  server_->set_write_timeout(std::chrono::seconds(30));
  server_->set_keep_alive_max_count(1000);
  server_->set_default_headers({
      {"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
  });
  server_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr failure) {
    std::string message = "The request failed.";
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const std::exception& error) {
      message = error.what();
    } catch (...) {
    }
    sendError(res, 500, message);
  });
  server_->set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) sendError(res, res.status, res.status == 404 ? "No such page." : "The request was refused.");
    return HandlerResponse::Handled;
  }));
  server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (!guard_.hostAllowed(req.get_header_value("Host"))) {
      sendError(res, 403, "This server answers only to 127.0.0.1:" + std::to_string(guard_.port()) + ".");
      return HandlerResponse::Handled;
    }
    if (req.path == "/" && req.has_param("token")) {
      if (req.get_param_value_count("token") != 1 || !guard_.tokenMatches(req.get_param_value("token"))) {
        sendError(res, 403, "The access token is not this workspace's.");
        return HandlerResponse::Handled;
      }
      res.set_header("Set-Cookie", guard_.sessionCookie());
      res.set_redirect("/", 303);
      return HandlerResponse::Handled;
    }
    if (!guard_.cookieAllowed(req.get_header_value("Cookie"))) {
      sendError(res, 403, "Open the workspace with the address tabvora printed.");
      return HandlerResponse::Handled;
    }
    if (req.method == "POST") {
      if (!guard_.originAllowed(req.get_header_value("Origin"))) {
        sendError(res, 403, "Changes are taken only from the workspace's own page.");
        return HandlerResponse::Handled;
      }
    } else if (req.method != "GET" && req.method != "HEAD") {
      sendError(res, 405, "Only GET and POST are answered.");
      return HandlerResponse::Handled;
    }
    return HandlerResponse::Unhandled;
  });
  addRoutes();
}

WorkspaceServer::~WorkspaceServer() = default;

std::string WorkspaceServer::url() const {
  return "http://127.0.0.1:" + std::to_string(guard_.port()) + "/?token=" + guard_.token();
}

void WorkspaceServer::beat() {
  std::lock_guard lock(beatMutex_);
  lastBeat_ = std::chrono::steady_clock::now();
}

void WorkspaceServer::addRoutes() {
  httplib::Server& server = *server_;
  server.Get("/", [](const httplib::Request&, httplib::Response& res) {
    const EmbeddedAsset* page = findAsset("index.html");
    res.set_content(std::string(page->bytes), std::string(assetContentType(page->name)).c_str());
  });
  server.Get(R"(/assets/([A-Za-z0-9_.-]+))", [](const httplib::Request& req, httplib::Response& res) {
    const EmbeddedAsset* asset = findAsset(req.matches[1].str());
    if (!asset) return sendError(res, 404, "No such asset.");
    res.set_content(std::string(asset->bytes), std::string(assetContentType(asset->name)).c_str());
  });
  server.Get("/api/info", [this](const httplib::Request&, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.info()); });
  });
  server.Get("/api/loading", [this](const httplib::Request&, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.loading()); });
  });
  server.Get("/api/tables", [this](const httplib::Request&, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.tables()); });
  });
  server.Get("/api/rows", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.rows(GridRequest::parse(req.params))); });
  });
  server.Get("/api/stats", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] { res.set_content(session_.statistics(GridRequest::parse(req.params)), kJSON); });
  });
  server.Get("/api/schema", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] {
      const std::optional<std::string> table = singleParameter(req.params, "table");
      if (!table) throw RequestError(400, "The request names no table.");
      sendJSON(res, session_.schema(*table));
    });
  });
  server.Get("/api/raw", [this](const httplib::Request&, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.raw()); });
  });
  server.Get("/api/export", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] {
      const GridRequest request = GridRequest::parse(req.params);
      const std::optional<std::string> formatName = singleParameter(req.params, "format");
      const std::optional<ExportFormat> format = ExportFormat::fromRawValue(formatName.value_or("CSV (.csv)"));
      if (!format) throw RequestError(400, "\"" + formatName.value_or("") + "\" is not an export format.");
      session_.checkExport(request);
      res.set_header("Content-Disposition", "attachment; filename=\"" + attachmentName(request.table, *format) + "\"");
      const ExportFormat chosen = *format;
      res.set_chunked_content_provider(std::string(chosen.mimeType()) + "; charset=utf-8",
                                       [this, request, chosen](std::size_t, httplib::DataSink& sink) {
                                         // The headers are sent: a failure now can only cut the
                                         // download short, which the browser shows as failed.
                                         try {
                                           session_.exportTable(request, chosen, [&](std::string_view text) {
                                             if (!text.empty() && !sink.write(text.data(), text.size()))
                                               throw std::runtime_error("the download was ended");
                                           });
                                         } catch (const std::exception&) {
                                           return false;
                                         }
                                         sink.done();
                                         return true;
                                       });
    });
  });
  server.Get("/api/layout", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] {
      const std::optional<std::string> table = singleParameter(req.params, "table");
      if (!table) throw RequestError(400, "The request names no table.");
      sendJSON(res, session_.layout(*table));
    });
  });
  server.Post("/api/layout", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] {
      session_.saveLayout(bodyJSON(req));
      sendJSON(res, {{"saved", true}});
    });
  });
  server.Post("/api/query", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] {
      const nlohmann::json body = bodyJSON(req);
      if (!body.contains("sql") || !body["sql"].is_string())
        throw RequestError(400, "The request has no \"sql\" text.");
      sendJSON(res, session_.query(body["sql"].get<std::string>()));
    });
  });
  server.Post("/api/cancel", [this](const httplib::Request&, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.cancelQuery()); });
  });
  server.Post("/api/cell", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.updateCell(bodyJSON(req))); });
  });
  server.Post("/api/insert", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.insertRow(bodyJSON(req))); });
  });
  server.Post("/api/delete", [this](const httplib::Request& req, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.deleteRows(bodyJSON(req))); });
  });
  server.Post("/api/save", [this](const httplib::Request&, httplib::Response& res) {
    answering(res, [&] { sendJSON(res, session_.save()); });
  });
  server.Post("/api/heartbeat", [this](const httplib::Request&, httplib::Response& res) {
    beat();
    sendJSON(res, {{"ok", true}});
  });
}

std::string WorkspaceServer::run() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigset_t previous;
  // The server's threads start with these signals blocked; this thread takes them.
  if (options_.stopOnSignals) pthread_sigmask(SIG_BLOCK, &signals, &previous);
  std::atomic<bool> listenEnded{false};
  std::thread listener([&] {
    server_->listen_after_bind();
    listenEnded = true;
  });
  std::string reason = "stopped";
  constexpr auto kTick = std::chrono::milliseconds(200);
  while (!stopRequested_) {
    if (options_.stopOnSignals) {
      const timespec wait{0, std::chrono::duration_cast<std::chrono::nanoseconds>(kTick).count()};
      if (sigtimedwait(&signals, nullptr, &wait) > 0) {
        reason = "signal";
        break;
      }
    } else {
      std::this_thread::sleep_for(kTick);
    }
    std::lock_guard lock(beatMutex_);
    if (lastBeat_ && std::chrono::steady_clock::now() - *lastBeat_ > options_.idleLimit) {
      reason = "idle";
      break;
    }
  }
  // A stop that comes before the listener runs would be lost: wait until it does.
  while (!server_->is_running() && !listenEnded) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  server_->stop();
  listener.join();
  if (options_.stopOnSignals) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return reason;
}

}  // namespace tabvora::workspace
