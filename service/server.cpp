#include "server.h"

#include <algorithm>
#include <optional>
#include <thread>

#include "client_actions.h"
#include "form_body.h"
#include "http_daemon.h"
#include "index_db.h"
#include "result_page.h"
#include "skin_files.h"

namespace qelo::service {
namespace {

constexpr const char* kGbkText = "text/plain; charset=GBK";
constexpr size_t kForumEntries = 50;
constexpr std::string_view kResultPagePrefix = "/zelk-";

HttpReply Text(std::string body, std::string content_type = kGbkText) {
  HttpReply reply;
  reply.content_type = std::move(content_type);
  reply.body = std::move(body);
  return reply;
}

HttpReply Status(int status, std::string body) {
  HttpReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

// The raw query of a request target, nothing decoded.
std::string_view RawQuery(std::string_view target) {
  const size_t q = target.find('?');
  return q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
}

HttpReply ServeFile(const HttpRequest& req, SkinFile file, const char* content_type) {
  const ByteRange range = ResolveRange(req.header("Range").value_or(""), file.size);
  HttpReply reply;
  reply.content_type = content_type;
  reply.headers.emplace_back("Accept-Ranges", "bytes");
  const std::string size = std::to_string(file.size);
  if (range.kind == ByteRange::Kind::kUnsatisfiable) {
    reply.status = 416;
    reply.content_type = "text/plain";
    reply.headers.emplace_back("Content-Range", "bytes */" + size);
    return reply;
  }
  if (range.kind == ByteRange::Kind::kPartial) {
    reply.status = 206;
    reply.headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                    std::to_string(range.last) + "/" + size);
  }
  const int64_t length = file.size == 0 ? 0 : range.last - range.first + 1;
  if (length > 0) {
    // Sent from the file as the connection takes it, so memory stays bounded whatever its size.
    // A file that shrank ends the connection short of its length.
    reply.file = std::move(file.fd);
    reply.file_offset = static_cast<uint64_t>(range.first);
    reply.file_length = static_cast<uint64_t>(length);
  }
  return reply;
}

HttpReply ServeSkinScript(const SkinStore& skins, const HttpRequest& req,
                          std::string_view form_text) {
  const FormBody form(form_text);
  const std::string_view action = form.Value("action").value_or("");
  if (action == "list") return Text(skins.ListReply());
  if (action != "downimg" && action != "downskin") return Text("false");
  const std::string_view name = form.Value("skin_id").value_or("");
  if (!SkinStore::AcceptsName(name)) return Status(400, "bad skin name");
  const bool picture = action == "downimg";
  auto file = skins.Open(name, picture ? SkinPart::kPicture : SkinPart::kContainer);
  if (!file) return Status(404, "no such skin");
  return ServeFile(req, std::move(*file), picture ? "image/jpeg" : "application/octet-stream");
}

HttpReply ServeResultPage(IndexDb& db, std::string_view id_text) {
  const auto id = ParseFileId(id_text);
  const auto row = id ? db.Find(*id) : std::nullopt;
  if (!row) {
    HttpReply reply = Text(NotFoundPageHtml("没有编号为 " + std::string(id_text) + " 的文件。"),
                           std::string(kHtmlContentType));
    reply.status = 404;
    return reply;
  }
  return Text(ResultPageHtml(*row), std::string(kHtmlContentType));
}

HttpReply Route(IndexDb& db, const SkinStore& skins, const HttpRequest& req) {
  const bool get = req.method == "GET" || req.method == "HEAD";
  const bool post = req.method == "POST";
  if (post && req.path == "/zelk_client.php") return Text(HandleClientForm(db, req.body));
  if (req.path == "/plugins/getskin.php") {
    if (post) return ServeSkinScript(skins, req, req.body);
    if (get) return ServeSkinScript(skins, req, RawQuery(req.target));
  }
  if (get && (req.path == "/bbs" || req.path == "/bbs/")) {
    return Text(ForumPageHtml(db.RecentFeedback(kForumEntries)), std::string(kHtmlContentType));
  }
  if (get && req.path.starts_with(kResultPagePrefix) &&
      req.path.find('/', kResultPagePrefix.size()) == std::string_view::npos) {
    return ServeResultPage(db, req.path.substr(kResultPagePrefix.size()));
  }
  return Status(404, "");
}

}  // namespace

size_t DefaultWorkers() {
  return std::clamp<size_t>(std::thread::hardware_concurrency(), 2, 32);
}

ServiceServer::ServiceServer(IndexDb& db, const SkinStore& skins, ServerOptions options,
                             LogSink log)
    : db_(db), skins_(skins) {
  const HttpOptions http{.threads = options.threads == 0 ? DefaultWorkers() : options.threads,
                         .max_body_bytes = options.max_body_bytes,
                         .max_connections = options.max_connections,
                         .head_timeout = options.head_timeout,
                         .body_timeout = options.body_timeout,
                         .write_stall = options.write_stall};
  http_ = std::make_unique<HttpDaemon>(
      http, [this](const HttpRequest& req) { return Route(db_, skins_, req); }, std::move(log));
}

ServiceServer::~ServiceServer() = default;

int ServiceServer::Bind(const std::string& host, int port) {
  return http_->Bind(host, port);
}

bool ServiceServer::Run() {
  const bool ok = http_->Run();
  finished_ = true;
  return ok;
}

void ServiceServer::Stop() {
  http_->Stop();
}

}  // namespace qelo::service
