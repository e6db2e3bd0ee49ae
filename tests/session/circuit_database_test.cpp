#include "tests/support/GeneratedCircuits.h"
#include "tests/support/TempDir.h"

#include "session/MVCircuitDatabase.h"
#include "session/MVTrackInfo.h"
#include "session/MVXMLParser.h"

#include "platform/Folders.h"

#include <GeographicLib/Geodesic.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using testing_support::TempDir;

// The expected location of most cases: 50 N, 1 E, i.e. 3000' and 60' in database minutes.
constexpr double kHereLatMinutes = 3000.0;
constexpr double kHereLonMinutes = 60.0;
// 100' of latitude further north: about 185 km away.
constexpr double kFarLatMinutes = 3100.0;

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A circuit whose area is centred on (latMinutes, lonMinutes).
std::string circuit(const std::string& name, double latMinutes, double lonMinutes,
                    const std::string& body, const std::string& extra = "") {
    const std::string min = number(lonMinutes - 0.5) + "," + number(latMinutes - 0.25);
    const std::string max = number(lonMinutes + 0.5) + "," + number(latMinutes + 0.25);
    return "<circuit name=\"" + name + "\" length=\"2451.9\" min=\"" + min + "\" max=\"" + max +
           "\"" + extra + ">" + body + "</circuit>\n";
}

// A gate whose points are told apart by `tag`: next = (3000 + tag, 60), previous 0.01' south.
std::string gate(const std::string& element, double tag) {
    return "<" + element + " oldlat=\"" + number(kHereLatMinutes + tag - 0.01) + "\" oldlong=\"" +
           number(kHereLonMinutes) + "\" lat=\"" + number(kHereLatMinutes + tag) + "\" long=\"" +
           number(kHereLonMinutes) + "\"/>";
}
std::string sf(double tag) {
    return gate("startFinish", tag);
}
std::string fin(double tag) {
    return gate("Finish", tag);
}

std::string database(const std::string& circuits, const std::string& version = "") {
    const std::string attribute = version.empty() ? "" : " version=\"" + version + "\"";
    return "<?xml version=\"1.0\"?>\n<circuits" + attribute + ">\n" + circuits + "</circuits>\n";
}

MVLocationPtr locationAt(double latitude, double longitude) {
    auto location = MVLocation::instance();
    location->setLatitude(latitude);
    location->setLongitude(longitude);
    return location;
}

MVLocationPtr here() {
    return locationAt(kHereLatMinutes / 60, kHereLonMinutes / 60);
}

// The tag of a gate made by gate(): its next point's latitude back in minutes above 3000'.
double tagOf(const MVPreviousNextLocationPtr& gate) {
    return std::round((gate->nextLocation()->latitude() * 60 - kHereLatMinutes) * 1000) / 1000;
}

struct Found {
    std::string name;
    double sfTag;
    std::optional<double> finishTag;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    os << "{" << f.name << ", sf " << f.sfTag << ", finish ";
    if (f.finishTag)
        os << *f.finishTag;
    else
        os << "none";
    return os << "}";
}

std::vector<Found> summary(const std::vector<MVTrackInfoPtr>& tracks) {
    std::vector<Found> out;
    for (const auto& t : tracks) {
        std::optional<double> finish;
        if (t->sfLocations2()) finish = tagOf(t->sfLocations2());
        out.push_back({t->trackName(), tagOf(t->sfLocations()), finish});
    }
    return out;
}

// Runs the parser on a database written as the shipped copy in a scratch folder.
class CircuitDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::remove_all(MVCircuitDatabase::downloadedDatabaseFolder());
    }
    void TearDown() override {
        std::filesystem::remove_all(MVCircuitDatabase::downloadedDatabaseFolder());
    }

    std::optional<std::vector<MVTrackInfoPtr>> read(const std::string& xml,
                                                    const MVLocation& where) {
        MVXMLParser parser(dir_.write("StartFinishDataBase.xml", xml));
        parser.parseXMLTrack(where);
        return parser.getAllTracks();
    }

    TempDir dir_;
};

struct RuleCase {
    const char* what;
    std::string circuits;
    std::vector<Found> expected;
};

TEST_F(CircuitDatabase, CandidateRecordsFollowTheElementRules) {
    const double H = kHereLatMinutes, L = kHereLonMinutes, F = kFarLatMinutes;
    const std::vector<RuleCase> cases = {
        {"one circuit, one gate", circuit("A", H, L, sf(1)), {{"A", 1, std::nullopt}}},
        {"circuit out of the area", circuit("A", F, L, sf(1)), {}},
        {"combo true is skipped with its gates",
         circuit("C", H, L, sf(1) + fin(2), " combo=\"true\""),
         {}},
        {"combo YES is skipped", circuit("C", H, L, sf(1), " combo=\"YES\""), {}},
        {"combo 1 is skipped", circuit("C", H, L, sf(1), " combo=\" 01\""), {}},
        {"combo false is a circuit",
         circuit("A", H, L, sf(1), " combo=\"false\""),
         {{"A", 1, std::nullopt}}},
        {"combo 0 is a circuit",
         circuit("A", H, L, sf(1), " combo=\"0\""),
         {{"A", 1, std::nullopt}}},
        {"combo between two circuits",
         circuit("A", H, L, sf(1)) + circuit("C", H, L, sf(2), " combo=\"true\"") +
             circuit("B", H, L, sf(3)),
         {{"A", 1, std::nullopt}, {"B", 3, std::nullopt}}},
        {"several startFinish give several records",
         circuit("A", H, L, sf(1) + sf(2) + sf(3)),
         {{"A", 1, std::nullopt}, {"A", 2, std::nullopt}, {"A", 3, std::nullopt}}},
        {"Finish joins the last record of its circuit",
         circuit("A", H, L, sf(1) + sf(2) + fin(3)),
         {{"A", 1, std::nullopt}, {"A", 2, 3}}},
        {"Finish of a circuit without startFinish leaves the earlier circuit alone",
         circuit("A", H, L, sf(1)) + circuit("B", H, L, fin(2)),
         {{"A", 1, std::nullopt}}},
        {"Finish before the circuit's startFinish is dropped",
         circuit("A", H, L, sf(1)) + circuit("B", H, L, fin(2) + sf(3)),
         {{"A", 1, std::nullopt}, {"B", 3, std::nullopt}}},
        {"Finish with no record at all", circuit("B", H, L, fin(2)), {}},
        {"Finish of a far circuit is not attached",
         circuit("A", H, L, sf(1)) + circuit("B", F, L, fin(2)),
         {{"A", 1, std::nullopt}}},
        {"Finish of a combo circuit is not attached",
         circuit("A", H, L, sf(1)) + circuit("C", H, L, fin(2), " combo=\"true\""),
         {{"A", 1, std::nullopt}}},
        {"gates before any circuit are ignored",
         sf(1) + fin(2) + circuit("A", H, L, sf(3)),
         {{"A", 3, std::nullopt}}},
        {"gates after a circuit belong to it",
         circuit("A", H, L, "") + sf(1) + fin(2),
         {{"A", 1, 2}}},
        {"area corner without latitude",
         "<circuit name=\"A\" min=\"59.5\" max=\"60.5,3000.25\">" + sf(1) + "</circuit>",
         {}},
        {"area without corners", "<circuit name=\"A\">" + sf(1) + "</circuit>", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto tracks = read(database(c.circuits), *here());
        ASSERT_TRUE(tracks.has_value());
        EXPECT_EQ(summary(*tracks), c.expected);
    }
}

TEST_F(CircuitDatabase, RecordCarriesNameSinglePrecisionLengthAndGateInDegrees) {
    const std::string xml = database(
        "<circuit name=\"Test Ring\" length=\"2451.9\" min=\"59.5,2999.75\" max=\"60.5,3000.25\">"
        "<startFinish oldlat=\"2999.5\" oldlong=\"-60.25\" lat=\" 3000.5xyz\" long=\"61\"/>"
        "<Finish oldlat=\"3001\" oldlong=\"62\" lat=\"3002\" long=\"junk\"/></circuit>");
    const auto tracks = read(xml, *here());
    ASSERT_TRUE(tracks && tracks->size() == 1);
    const auto& t = *tracks->front();
    EXPECT_EQ(t.trackName(), "Test Ring");
    EXPECT_EQ(t.length(), static_cast<double>(2451.9f));
    EXPECT_NE(t.length(), 2451.9);
    EXPECT_DOUBLE_EQ(t.sfLocations()->previousLocation()->latitude(), 2999.5 / 60);
    EXPECT_DOUBLE_EQ(t.sfLocations()->previousLocation()->longitude(), -60.25 / 60);
    EXPECT_DOUBLE_EQ(t.sfLocations()->nextLocation()->latitude(), 3000.5 / 60);
    EXPECT_DOUBLE_EQ(t.sfLocations()->nextLocation()->longitude(), 61.0 / 60);
    ASSERT_TRUE(t.sfLocations2());
    EXPECT_DOUBLE_EQ(t.sfLocations2()->previousLocation()->latitude(), 3001.0 / 60);
    EXPECT_DOUBLE_EQ(t.sfLocations2()->nextLocation()->latitude(), 3002.0 / 60);
    EXPECT_EQ(t.sfLocations2()->nextLocation()->longitude(), 0.0);
    EXPECT_FALSE(t.urlFromCustomer().has_value());
}

// The candidate test is "geodesic distance on WGS-84 less than 5000 m" between the area centre
// and the expected location; every distance here is measured with the same geodesic.
TEST_F(CircuitDatabase, CandidateRadiusIsStrictlyLessThan5000MetresOnTheGeodesic) {
    const auto& wgs84 = GeographicLib::Geodesic::WGS84();
    const double centreLat = kHereLatMinutes / 60, centreLon = kHereLonMinutes / 60;
    // A point area, so that the centre is exactly the corner.
    const std::string xml =
        database("<circuit name=\"P\" length=\"1000\" min=\"" + number(kHereLonMinutes) + "," +
                 number(kHereLatMinutes) + "\" max=\"" + number(kHereLonMinutes) + "," +
                 number(kHereLatMinutes) + "\">" + sf(1) + "</circuit>");
    auto distanceTo = [&](double lat, double lon) {
        double s12 = 0;
        wgs84.Inverse(centreLat, centreLon, lat, lon, s12);
        return s12;
    };
    auto isCandidate = [&](double lat, double lon) {
        const auto tracks = read(xml, *locationAt(lat, lon));
        return tracks && tracks->size() == 1;
    };

    struct Case {
        double azimuth, metres;
        bool candidate;
    };
    for (const Case c :
         {Case{0, 0, true}, Case{0, 4999, true}, Case{90, 4999, true}, Case{225, 4999.5, true},
          Case{0, 5000.5, false}, Case{90, 5001, false}, Case{180, 20000, false}}) {
        double lat = 0, lon = 0;
        wgs84.Direct(centreLat, centreLon, c.azimuth, c.metres, lat, lon);
        SCOPED_TRACE(testing::Message() << "azimuth " << c.azimuth << " metres " << c.metres);
        EXPECT_NEAR(distanceTo(lat, lon), c.metres, 1e-6);
        EXPECT_EQ(isCandidate(lat, lon), c.candidate);
    }

    // The edge itself: the last latitude north of the centre still under 5000 m and the next
    // representable one, at or past 5000 m.
    double inside = 0, outside = 0, lon = 0;
    wgs84.Direct(centreLat, centreLon, 0, 4999.99, inside, lon);
    wgs84.Direct(centreLat, centreLon, 0, 5000.01, outside, lon);
    lon = centreLon;
    ASSERT_LT(distanceTo(inside, lon), 5000.0);
    ASSERT_GE(distanceTo(outside, lon), 5000.0);
    for (int i = 0; i < 200 && std::nextafter(inside, outside) != outside; ++i) {
        const double mid = inside + (outside - inside) / 2;
        const double probe =
            (mid == inside || mid == outside) ? std::nextafter(inside, outside) : mid;
        (distanceTo(probe, lon) < 5000.0 ? inside : outside) = probe;
    }
    ASSERT_EQ(std::nextafter(inside, outside), outside);
    EXPECT_TRUE(isCandidate(inside, lon)) << distanceTo(inside, lon);
    EXPECT_FALSE(isCandidate(outside, lon)) << distanceTo(outside, lon);
}

TEST_F(CircuitDatabase, TheNewerCopyIsReadTheShippedOneOnATie) {
    const auto downloaded = MVCircuitDatabase::downloadedDatabasePath();
    auto names = [&](const std::filesystem::path& shipped) {
        MVXMLParser parser(shipped);
        parser.parseXMLTrack(*here());
        std::vector<std::string> out;
        for (const auto& t : parser.getAllTracks().value_or(std::vector<MVTrackInfoPtr>{}))
            out.push_back(t->trackName());
        return out;
    };
    auto shippedAt = [&](const std::string& version) {
        return dir_.write(
            "shipped" + version + ".xml",
            database(circuit("Shipped", kHereLatMinutes, kHereLonMinutes, sf(1)), version));
    };
    auto download = [&](const std::string& text) {
        std::error_code ignored;
        std::filesystem::remove_all(downloaded, ignored);
        ASSERT_TRUE(platform::folders::writeFileAtomically(downloaded, text));
    };
    const std::string downloadedCircuits =
        circuit("Downloaded", kHereLatMinutes, kHereLonMinutes, sf(2));

    struct Case {
        const char* what;
        std::string shipped, downloaded;  // versions; "-": the attribute is missing
        bool downloadedWins;
        std::string version;  // the version in use
    };
    const std::vector<Case> cases = {
        {"shipped newer", "1", "0", false, "1"},
        {"shipped newer by number", "10", "9", false, "10"},
        {"downloaded newer by number", "9", "10", true, "10"},
        {"downloaded newer", "1.2", "1.10", true, "1.10"},
        {"equal", "5", "5", false, "5"},
        {"equal by value", "5.0", "5.00", false, "5.0"},
        {"downloaded without version", "1", "-", false, "1"},
        {"shipped without version", "-", "2", true, "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto shipped = shippedAt(c.shipped == "-" ? "" : c.shipped);
        download(database(downloadedCircuits, c.downloaded == "-" ? "" : c.downloaded));
        const auto inUse = MVCircuitDatabase::databaseInUse(shipped);
        EXPECT_EQ(inUse.downloaded, c.downloadedWins);
        EXPECT_EQ(inUse.path, c.downloadedWins ? downloaded : shipped);
        EXPECT_EQ(inUse.version, c.version);
        EXPECT_EQ(MVCircuitDatabase::databasePathToRead(shipped), inUse.path);
        EXPECT_EQ(names(shipped),
                  std::vector<std::string>{c.downloadedWins ? "Downloaded" : "Shipped"});
    }

    // No download, an unreadable one, or a folder in its place: the shipped copy.
    const auto shipped = shippedAt("3");
    std::filesystem::remove(downloaded);
    EXPECT_EQ(names(shipped), std::vector<std::string>{"Shipped"});
    download("not a database");
    EXPECT_EQ(names(shipped), std::vector<std::string>{"Shipped"});
    std::filesystem::remove(downloaded);
    std::filesystem::create_directories(downloaded);
    EXPECT_EQ(names(shipped), std::vector<std::string>{"Shipped"});
    EXPECT_EQ(MVCircuitDatabase::databaseInUse(shipped).version, "3");
    std::filesystem::remove_all(downloaded);
}

TEST(CircuitDatabaseVersions, CompareWithNumbers) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    for (const Case& c : {Case{"1.9", "1.10", -1}, Case{"2.0", "1.12", 1}, Case{"1.2", "1.2", 0},
                          Case{"9", "10", -1}, Case{"1.2", "1.2.1", -1}, Case{"01.5", "1.5", 0},
                          Case{"1.2b", "1.2a", 1}, Case{"", "0", -1}}) {
        const int r = MVCircuitDatabase::compareVersions(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
    EXPECT_EQ(MVCircuitDatabase::databaseVersion("<circuits version=\"7\"/>"), "7");
    EXPECT_FALSE(MVCircuitDatabase::databaseVersion("<circuits/>"));
    EXPECT_FALSE(MVCircuitDatabase::databaseVersion("<circuits version=\"7\""));
}

TEST(CircuitDatabasePaths, DownloaderAndReaderShareOneFolder) {
    const auto folder = MVCircuitDatabase::downloadedDatabaseFolder();
    EXPECT_EQ(folder, std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "Morvane" /
                          "Trackmap Database" / "Start Finish Database");
    EXPECT_EQ(MVCircuitDatabase::downloadedDatabasePath(), folder / "StartFinishDataBase.xml");
    EXPECT_EQ(MVCircuitDatabase::shippedDatabasePath().filename(), "StartFinishDataBase.xml");
}

TEST_F(CircuitDatabase, TruncatedDatabaseKeepsWhatWasReadBeforeTheError) {
    const std::string full =
        database(circuit("A", kHereLatMinutes, kHereLonMinutes, sf(1) + fin(2)) +
                 circuit("B", kHereLatMinutes, kHereLonMinutes, sf(3) + sf(4)));
    auto cutAt = [&](const std::string& marker, std::size_t extra) {
        const auto at = full.find(marker);
        EXPECT_NE(at, std::string::npos) << marker;
        return full.substr(0, at + extra);
    };
    const std::string sf3 = sf(3), fin2 = fin(2);
    struct Case {
        const char* what;
        std::string xml;
        std::vector<Found> expected;
    };
    const std::vector<Case> cases = {
        {"whole file", full, {{"A", 1, 2}, {"B", 3, std::nullopt}, {"B", 4, std::nullopt}}},
        {"cut inside the Finish start tag", cutAt(fin2, fin2.size() - 8), {{"A", 1, std::nullopt}}},
        {"cut inside an attribute value of a startFinish",
         cutAt(sf3, sf3.find(" lat=\"") + 8),
         {{"A", 1, 2}}},
        {"cut right after a startFinish",
         cutAt(sf3, sf3.size()),
         {{"A", 1, 2}, {"B", 3, std::nullopt}}},
        {"cut inside the second circuit's start tag",
         cutAt("<circuit name=\"B\"", 12),
         {{"A", 1, 2}}},
        {"cut before the end tags",
         full.substr(0, full.rfind("</circuit>")),
         {{"A", 1, 2}, {"B", 3, std::nullopt}, {"B", 4, std::nullopt}}},
        {"mismatched end tag after the first circuit",
         cutAt("<circuit name=\"B\"", 0) + "</wrong>" +
             circuit("B", kHereLatMinutes, kHereLonMinutes, sf(3)),
         {{"A", 1, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MVXMLParser parser(dir_.write("db.xml", c.xml));
        parser.parseXMLTrack(*here());
        ASSERT_TRUE(parser.getAllTracks().has_value());
        EXPECT_EQ(summary(*parser.getAllTracks()), c.expected);
        EXPECT_EQ(parser.lastError().empty(), c.xml == full) << parser.lastError();
    }
}

TEST_F(CircuitDatabase, UnreadableOrEmptyDatabase) {
    MVXMLParser missing(dir_ / "absent.xml");
    missing.parseXMLTrack(*here());
    EXPECT_FALSE(missing.getAllTracks().has_value());

    for (const std::string& bytes :
         {std::string(), std::string("not xml at all"), std::string("\xff\xfe<\0c\0", 6),
          std::string("<circuits/>")}) {
        MVXMLParser parser(dir_.write("odd.xml", bytes));
        parser.parseXMLTrack(*here());
        ASSERT_TRUE(parser.getAllTracks().has_value());
        EXPECT_TRUE(parser.getAllTracks()->empty());
    }
}

class RecordingDelegate : public MVXMLPaserDelegate {
  public:
    void availableTrackNames(const std::vector<MVTrackInfoPtr>& tracks) override {
        calls.push_back(tracks.size());
    }
    std::vector<std::size_t> calls;
};

TEST_F(CircuitDatabase, DelegateHearsOfAWholeReadOnly) {
    auto delegate = std::make_shared<RecordingDelegate>();
    const std::string xml = database(circuit("A", kHereLatMinutes, kHereLonMinutes, sf(1) + sf(2)));
    MVXMLParser parser;
    parser.setDelegate(delegate);
    EXPECT_TRUE(parser.parseXMLTrackWithData(*here(), xml));
    EXPECT_FALSE(parser.parseXMLTrackWithData(*here(), xml.substr(0, xml.size() / 2)));
    EXPECT_EQ(delegate->calls, std::vector<std::size_t>{2});

    // A parser may outlive its delegate.
    delegate.reset();
    EXPECT_TRUE(parser.parseXMLTrackWithData(*here(), xml));
}

// The shipped database: its invented circuits are found at their own centres, and the loop
// driven by the test session generator is listed with exactly the generator's gate.
TEST_F(CircuitDatabase, ShippedDatabaseListsTheGeneratedLoop) {
    namespace gen = testing_support::generated_circuits;
    MVXMLParser parser;
    parser.parseXMLTrack(*locationAt(gen::minutesToDegrees(gen::kLoopCentre.latitudeMinutes),
                                     gen::minutesToDegrees(gen::kLoopCentre.longitudeMinutes)));
    ASSERT_TRUE(parser.getAllTracks().has_value()) << parser.shippedDatabase();
    EXPECT_TRUE(parser.lastError().empty()) << parser.lastError();
    const auto& tracks = *parser.getAllTracks();
    ASSERT_EQ(tracks.size(), 1u);  // its combined layout is skipped
    const auto& loop = *tracks.front();
    EXPECT_EQ(loop.trackName(), gen::kLoopName);
    EXPECT_NEAR(loop.length(), gen::kLoopLengthMetres, 0.5);
    const auto& g = *loop.sfLocations();
    EXPECT_EQ(g.previousLocation()->latitude(),
              gen::kLoopStartFinish.previous.latitudeMinutes / 60);
    EXPECT_EQ(g.previousLocation()->longitude(),
              gen::kLoopStartFinish.previous.longitudeMinutes / 60);
    EXPECT_EQ(g.nextLocation()->latitude(), gen::kLoopStartFinish.next.latitudeMinutes / 60);
    EXPECT_EQ(g.nextLocation()->longitude(), gen::kLoopStartFinish.next.longitudeMinutes / 60);
    EXPECT_FALSE(loop.sfLocations2());

    struct Shipped {
        double latMinutes, lonMinutes;
        std::vector<std::string> names;
        bool splitFinish;
    };
    for (const auto& s :
         {Shipped{3180.0, -60.0, {"Larkmoor Raceway"}, false},
          Shipped{2640.05, 480.1, {"Fenwick Bay Circuit", "Fenwick Bay Circuit"}, false},
          Shipped{2820.0, 120.6, {"Harrowgate Point Sprint"}, true}}) {
        MVXMLParser p;
        p.parseXMLTrack(*locationAt(s.latMinutes / 60, s.lonMinutes / 60));
        ASSERT_TRUE(p.getAllTracks().has_value());
        std::vector<std::string> names;
        for (const auto& t : *p.getAllTracks()) {
            names.push_back(t->trackName());
            EXPECT_EQ(static_cast<bool>(t->sfLocations2()), s.splitFinish) << t->trackName();
        }
        EXPECT_EQ(names, s.names);
    }
}

TEST(TrackInfo, CopyIsIndependentOfTheOriginal) {
    auto original = MVTrackInfo::instance();
    original->setTrackName("Loop");
    original->setLength(2452);
    original->setUrlFromCustomer(std::filesystem::path("/tmp/loop.cir"));
    auto gate = MVPreviousNextLocation::instance();
    gate->previousLocation()->setLatitude(39.5);
    gate->previousLocation()->setSpeed(150);
    gate->nextLocation()->setLongitude(-3.0);
    gate->nextLocation()->setTimestamp(12.5);
    original->setSfLocations(gate);

    const auto copy = original->copy();
    ASSERT_NE(copy, original);
    EXPECT_EQ(copy->trackName(), "Loop");
    EXPECT_EQ(copy->length(), 2452);
    EXPECT_EQ(copy->urlFromCustomer(), original->urlFromCustomer());
    EXPECT_FALSE(copy->sfLocations2());
    ASSERT_TRUE(copy->sfLocations());
    EXPECT_NE(copy->sfLocations(), gate);
    EXPECT_EQ(copy->sfLocations()->previousLocation()->latitude(), 39.5);
    EXPECT_EQ(copy->sfLocations()->previousLocation()->speed(), 0);
    EXPECT_EQ(copy->sfLocations()->nextLocation()->longitude(), -3.0);
    EXPECT_EQ(copy->sfLocations()->nextLocation()->timestamp(), 0);

    copy->sfLocations()->nextLocation()->setLongitude(7.0);
    copy->setSfLocations2(MVPreviousNextLocation::instance());
    copy->setTrackName("Other");
    EXPECT_EQ(original->sfLocations()->nextLocation()->longitude(), -3.0);
    EXPECT_FALSE(original->sfLocations2());
    EXPECT_EQ(original->trackName(), "Loop");
}

TEST(TrackInfo, BlankRecordAndDescription) {
    const auto blank = MVTrackInfo::blank();
    ASSERT_TRUE(blank->sfLocations() && blank->sfLocations2());
    EXPECT_NE(blank->sfLocations(), blank->sfLocations2());
    EXPECT_EQ(blank->sfLocations()->nextLocation()->latitude(), 0);
    EXPECT_EQ(blank->length(), 0);

    auto record = MVTrackInfo::instance();
    record->setTrackName("Larkfield Loop");
    record->setLength(2451.9);
    EXPECT_EQ(record->description(), "trackName:Larkfield Loop, length:2451.90, (null), (null)");
    record->setSfLocations(MVPreviousNextLocation::instance());
    EXPECT_EQ(record->description().rfind(
                  "trackName:Larkfield Loop, length:2451.90, <MVPreviousNextLocation: 0x", 0),
              0u);
    EXPECT_EQ(record->description().substr(record->description().size() - 8), ", (null)");
}

}  // namespace
