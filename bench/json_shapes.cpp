#include "json_shapes.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <string_view>

namespace qelo::bench {

namespace {

// Appends JSON pieces to one text; every choice comes from one fixed-seed generator.
class Writer {
 public:
  explicit Writer(uint32_t seed) : random_(seed) {}

  std::string& Out() { return out_; }
  unsigned Pick(unsigned n) { return static_cast<unsigned>(random_() % n); }
  bool OneIn(unsigned n) { return Pick(n) == 0; }
  // A 64-bit pick below n (n up to 2^63).
  int64_t PickWide(int64_t n) {
    const uint64_t wide = (uint64_t{random_()} << 32) | random_();
    return static_cast<int64_t>(wide % static_cast<uint64_t>(n));
  }

  void Raw(std::string_view text) { out_ += text; }
  void Key(std::string_view name) {
    out_ += '"';
    out_ += name;
    out_ += "\":";
  }
  void Int(int64_t value) { out_ += std::to_string(value); }
  // value with exactly `fraction` digits after the point (more than four: a double).
  void Double(double value, int fraction) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", fraction, value);
    out_ += text;
  }
  void Quoted(std::string_view plain) {
    out_ += '"';
    out_ += plain;
    out_ += '"';
  }
  // A text of `words` words; a tenth of the texts hold escapes and non-ASCII words.
  void Text(int words) {
    static constexpr std::string_view kWords[] = {
        "the",    "a",     "new",     "release", "live",   "tonight", "with",  "friends",
        "season", "final", "tickets", "photo",   "update", "city",    "night", "music",
        "review", "first", "look",    "open",    "today",  "weekend", "game",  "news"};
    static constexpr std::string_view kForeign[] = {
        "東京",   "新しい", "音楽会", "週末", "café", "naïve", "Zürich", "дом",
        "привет", "電影",   "高清",   "😀",    "🎉",    "中文",  "€",      "日本語"};
    static constexpr std::string_view kEscapes[] = {
        "\\n", "\\\"", "\\/", "\\\\", "\\t", "\\u00e9", "\\u4e2d", "\\ud83d\\ude00", "\\r\\n"};
    const bool mixed = OneIn(10);
    out_ += '"';
    for (int w = 0; w < words; ++w) {
      if (w) out_ += ' ';
      if (mixed && OneIn(3)) {
        out_ += kForeign[Pick(std::size(kForeign))];
      } else {
        out_ += kWords[Pick(std::size(kWords))];
      }
      if (mixed && OneIn(3)) out_ += kEscapes[Pick(std::size(kEscapes))];
    }
    out_ += '"';
  }

 private:
  std::mt19937 random_;
  std::string out_;
};

// A coordinate: 6 to 15 significant digits, at least five of them after the point, the last
// ones as random as measured positions are.
void Coordinate(Writer& w, double value) {
  value += static_cast<double>(w.Pick(1000000000)) * 1e-14;
  const int whole = value <= -100 || value >= 100 ? 3 : value <= -10 || value >= 10 ? 2 : 1;
  const int significant = 6 + static_cast<int>(w.Pick(10));
  w.Double(value, std::max(5, significant - whole));
}

void Ring(Writer& w, double lon, double lat, int points) {
  w.Raw("[");
  for (int i = 0; i < points; ++i) {
    lon += (static_cast<double>(w.Pick(2001)) - 1000) * 1e-5;
    lat += (static_cast<double>(w.Pick(2001)) - 1000) * 1e-5;
    w.Raw(i ? ",[" : "[");
    Coordinate(w, lon);
    w.Raw(",");
    Coordinate(w, lat);
    w.Raw("]");
  }
  w.Raw("]");
}

}  // namespace

std::string MakeCoordinatesUtf8(std::size_t bytes) {
  Writer w(20260101);
  w.Raw("{\"type\":\"FeatureCollection\",\"features\":[");
  for (int n = 0; w.Out().size() < bytes; ++n) {
    if (n) w.Raw(",");
    const double lon = static_cast<double>(w.Pick(300)) - 150;
    const double lat = static_cast<double>(w.Pick(140)) - 70;
    w.Raw("{\"type\":\"Feature\",\"properties\":{\"name\":");
    w.Text(2);
    w.Raw(",\"area_km2\":");
    w.Double(static_cast<double>(w.Pick(1000000)) / 7.0, 6);
    w.Raw("},\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[");
    for (int ring = 1 + static_cast<int>(w.Pick(2)); ring > 0; --ring) {
      Ring(w, lon, lat, 200 + static_cast<int>(w.Pick(1800)));
      if (ring > 1) w.Raw(",");
    }
    w.Raw("]}}");
  }
  w.Raw("]}");
  return std::move(w.Out());
}

namespace {

// An object of `count` members named by numeric ids, each holding a short text.
void NamesById(Writer& w, std::string_view key, int count, int64_t first_id) {
  w.Key(key);
  w.Raw("{");
  for (int i = 0; i < count; ++i) {
    if (i) w.Raw(",");
    w.Key(std::to_string(first_id + i * 7));
    w.Text(1 + static_cast<int>(w.Pick(3)));
  }
  w.Raw("}");
}

void IdList(Writer& w, int count, int64_t base) {
  w.Raw("[");
  for (int i = 0; i < count; ++i) {
    if (i) w.Raw(",");
    w.Int(base + w.PickWide(100000));
  }
  w.Raw("]");
}

// An event: which optional members it has varies, so the objects have many shapes.
void Event(Writer& w, int64_t id) {
  w.Key(std::to_string(id));
  w.Raw("{");
  if (w.OneIn(3)) {
    w.Key("description");
    w.Text(8 + static_cast<int>(w.Pick(12)));
    w.Raw(",");
  }
  w.Key("id");
  w.Int(id);
  w.Raw(",");
  w.Key("logo");
  if (w.OneIn(2)) {
    w.Quoted("/images/UE0AAAAACEKo" + std::to_string(id) + ".jpg");
  } else {
    w.Raw("null");
  }
  w.Raw(",");
  w.Key("name");
  w.Text(2 + static_cast<int>(w.Pick(4)));
  w.Raw(",");
  if (w.OneIn(4)) {
    w.Key("venue");
    w.Raw("{\"code\":\"PLEYEL_PLEYEL\",\"geo\":{\"lat\":");
    w.Double(48 + static_cast<double>(w.Pick(100000)) / 99991.0, 6 + static_cast<int>(w.Pick(4)));
    w.Raw(",\"lon\":");
    w.Double(2 + static_cast<double>(w.Pick(100000)) / 99991.0, 6 + static_cast<int>(w.Pick(4)));
    w.Raw("}},");
  }
  w.Key("subTopicIds");
  IdList(w, 1 + static_cast<int>(w.Pick(4)), 337184000);
  w.Raw(",");
  w.Key("subjectCode");
  w.Raw("null,");
  w.Key("topicIds");
  IdList(w, static_cast<int>(w.Pick(3)), 324846000);
  w.Raw("}");
}

void Performance(Writer& w, int64_t event_id, int64_t id) {
  w.Raw("{\"eventId\":");
  w.Int(event_id);
  w.Raw(",\"id\":");
  w.Int(id);
  w.Raw(",\"logo\":null,\"name\":null,\"prices\":[");
  const int prices = 1 + static_cast<int>(w.Pick(4));
  for (int p = 0; p < prices; ++p) {
    w.Raw(p ? ",{\"amount\":" : "{\"amount\":");
    w.Int(10000 + w.PickWide(150000));
    w.Raw(",\"audienceSubCategoryId\":337100890,\"seatCategoryId\":");
    w.Int(338937000 + w.PickWide(1000));
    if (w.OneIn(5)) {
      w.Raw(",\"discount\":");
      w.Double(static_cast<double>(w.Pick(100000)) / 99991.0, 5 + static_cast<int>(w.Pick(6)));
    }
    w.Raw("}");
  }
  w.Raw("],\"seatCategories\":[");
  const int categories = 1 + static_cast<int>(w.Pick(3));
  for (int c = 0; c < categories; ++c) {
    w.Raw(c ? ",{\"areas\":[" : "{\"areas\":[");
    const int areas = 1 + static_cast<int>(w.Pick(6));
    for (int a = 0; a < areas; ++a) {
      w.Raw(a ? ",{\"areaId\":" : "{\"areaId\":");
      w.Int(205705990 + w.PickWide(60) * 7);
      w.Raw(",\"blockIds\":");
      IdList(w, static_cast<int>(w.Pick(3)), 100000);
      w.Raw("}");
    }
    w.Raw("],\"seatCategoryId\":");
    w.Int(338937000 + w.PickWide(1000));
    w.Raw("}");
  }
  w.Raw("],\"seatMapImage\":null,\"start\":");
  w.Int(1372701600000 + w.PickWide(100000000) * 1000);
  w.Raw(",\"venueCode\":\"PLEYEL_PLEYEL\"}");
}

}  // namespace

std::string MakeCatalogUtf8(std::size_t bytes) {
  Writer w(20260202);
  w.Raw("{");
  NamesById(w, "areaNames", 60, 205705990);
  w.Raw(",");
  NamesById(w, "audienceSubCategoryNames", 8, 337100890);
  w.Raw(",");
  NamesById(w, "seatCategoryNames", 300, 338937000);
  w.Raw(",");
  // Events take a third of the document, performances the rest.
  const int64_t first_event = 138586341;
  int events = 0;
  w.Key("events");
  w.Raw("{");
  while (w.Out().size() < bytes / 3) {
    if (events) w.Raw(",");
    Event(w, first_event + events++ * 13);
  }
  w.Raw("},\"performances\":[");
  for (int64_t n = 0; w.Out().size() < bytes; ++n) {
    if (n) w.Raw(",");
    Performance(w, first_event + w.PickWide(events) * 13, 339887544 + n * 3);
  }
  w.Raw("],");
  NamesById(w, "topicNames", 40, 324846000);
  w.Raw(",\"venueNames\":{\"PLEYEL_PLEYEL\":\"Salle Pleyel\"}}");
  return std::move(w.Out());
}

namespace {

void User(Writer& w, int64_t id) {
  w.Raw("{\"id\":");
  w.Int(id);
  w.Raw(",\"id_str\":");
  w.Quoted(std::to_string(id));
  w.Raw(",\"name\":");
  w.Text(2);
  w.Raw(",\"screen_name\":");
  w.Quoted("user" + std::to_string(id % 100000));
  w.Raw(",\"location\":");
  w.Text(1 + static_cast<int>(w.Pick(3)));
  w.Raw(",\"description\":");
  w.Text(10 + static_cast<int>(w.Pick(30)));
  w.Raw(",\"url\":null,\"entities\":{\"description\":{\"urls\":[]}},\"protected\":false,");
  w.Raw("\"followers_count\":");
  w.Int(w.PickWide(100000));
  w.Raw(",\"friends_count\":");
  w.Int(w.PickWide(5000));
  w.Raw(",\"created_at\":\"Sun Jul 29 05:23:51 +0000 2012\",\"verified\":false,");
  w.Raw("\"profile_image_url\":\"http:\\/\\/pbs.example.com\\/profile_images\\/");
  w.Int(id);
  w.Raw("\\/avatar.jpeg\",\"profile_background_color\":\"C0DEED\",\"lang\":\"ja\"}");
}

// Mentions and tags with their positions in the text: the deepest levels of the feed.
void Entities(Writer& w) {
  w.Raw("{\"hashtags\":[");
  const int tags = static_cast<int>(w.Pick(3));
  for (int t = 0; t < tags; ++t) {
    w.Raw(t ? ",{\"text\":" : "{\"text\":");
    w.Text(1);
    w.Raw(",\"indices\":[");
    w.Int(w.Pick(100));
    w.Raw(",");
    w.Int(100 + w.Pick(40));
    w.Raw("]}");
  }
  w.Raw("],\"symbols\":[],\"urls\":[],\"user_mentions\":[");
  const int mentions = static_cast<int>(w.Pick(3));
  for (int m = 0; m < mentions; ++m) {
    const int64_t id = 100000000 + w.PickWide(900000000);
    w.Raw(m ? ",{\"screen_name\":" : "{\"screen_name\":");
    w.Quoted("user" + std::to_string(id % 100000));
    w.Raw(",\"name\":");
    w.Text(2);
    w.Raw(",\"id\":");
    w.Int(id);
    w.Raw(",\"indices\":[");
    w.Int(w.Pick(50));
    w.Raw(",");
    w.Int(50 + w.Pick(40));
    w.Raw("]}");
  }
  w.Raw("]}");
}

void Post(Writer& w, int64_t id, bool repost) {
  w.Raw("{\"metadata\":{\"result_type\":\"recent\",\"iso_language_code\":\"ja\"},");
  w.Raw("\"created_at\":\"Sat Aug 30 14:06:29 +0000 2014\",\"id\":");
  w.Int(id);
  w.Raw(",\"id_str\":");
  w.Quoted(std::to_string(id));
  w.Raw(",\"text\":");
  w.Text(12 + static_cast<int>(w.Pick(20)));
  w.Raw(
      ",\"source\":\"<a href=\\\"http:\\/\\/example.com\\/download\\/iphone\\\" "
      "rel=\\\"nofollow\\\">Client for iPhone<\\/a>\",\"truncated\":false,");
  w.Raw("\"in_reply_to_status_id\":null,\"user\":");
  User(w, 100000000 + w.PickWide(900000000));
  w.Raw(",\"geo\":null,\"coordinates\":null,\"place\":null,");
  if (!repost && w.OneIn(3)) {
    w.Raw("\"retweeted_status\":");
    Post(w, id - 1 - w.PickWide(1000000), true);
    w.Raw(",");
  }
  w.Raw("\"retweet_count\":");
  w.Int(w.PickWide(1000));
  w.Raw(",\"favorite_count\":");
  w.Int(w.PickWide(1000));
  w.Raw(",\"entities\":");
  Entities(w);
  w.Raw(",\"favorited\":false,\"retweeted\":false,\"lang\":\"ja\"}");
}

}  // namespace

std::string MakeFeedUtf8(std::size_t bytes) {
  Writer w(20260303);
  w.Raw("{\"statuses\":[");
  for (int64_t n = 0; w.Out().size() < bytes; ++n) {
    if (n) w.Raw(",");
    Post(w, 505874924095815681 + n * 1000003, false);
  }
  w.Raw("],\"search_metadata\":{\"completed_in\":0.087000,\"max_id\":505874924095815681,");
  w.Raw("\"query\":\"%E4%B8%80\",\"count\":100}}");
  return std::move(w.Out());
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int trail = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t c = trail == 0 ? lead : lead & (0x3F >> trail);
    for (int k = 1; k <= trail; ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += 1 + trail;
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

}  // namespace qelo::bench
