#include "tests/support/ManualSession.h"
#include "tests/support/TempDir.h"

#include "session/MVGLDFileManager.h"
#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testing_support::TempDir;

// One loaded file's record, each entry told apart by the file's name, so that a misaligned list
// shows up as a wrong name at some position; with the address it is loaded from.
struct LoadedFile {
    MVLoadedFile file;
    std::filesystem::path url;

    explicit LoadedFile(const std::string& name) : url("/sessions/" + name + ".gld") {
        auto& series = file.series;
        series.name = name;
        series.headers = {"time", name};
        series.samples = {{"0", name}};
        series.speeds = MVSpeeds::instance();
        series.fakeIndexes = MVFakeIndexes::instance();
        series.distances = MVDistances::instance();
        auto& laps = file.laps;
        laps = {MVLaps::instance(), MVLaps::instance(), MVLaps::instance(), MVLaps::instance()};
        for (int k = 1; k <= 3; ++k) {
            auto lap = MVLap::instance();
            lap->setGldFile(name);
            lap->setNumber(static_cast<std::uint64_t>(k));
            laps.all->addLap(lap);
            if (k < 3) laps.complete->addLap(lap), laps.precise->addLap(lap);
        }
        auto whole = MVLap::instance();
        whole->setGldFile(name);
        whole->setIsWholeFileLap(true);
        laps.wholeFile->addLap(whole);
    }
    const std::string& name() const { return file.series.name; }
};

// Appends files to the manager's lists the way a load does, all lists at once.
void load(MVGLDFileManager& m, const std::vector<std::shared_ptr<LoadedFile>>& files) {
    MVLoadedFiles lists = m.loadedFiles();
    for (const auto& f : files) {
        lists.append(f->file);
        lists.appendAddress(f->url);
    }
    ASSERT_TRUE(m.replaceLoadedFiles(std::move(lists)));
    if (!m.baseLocation()) m.setBaseLocation(MVLocation::instance());
    if (!m.referenceLap() && !files.empty()) {
        m.setReferenceLap(files.front()->file.laps.complete->lapAtIndex(1));
    }
}

std::vector<std::shared_ptr<LoadedFile>> makeFiles(const std::vector<std::string>& names) {
    std::vector<std::shared_ptr<LoadedFile>> out;
    for (const auto& n : names) out.push_back(std::make_shared<LoadedFile>(n));
    return out;
}

// Checks that every per-file list holds exactly `expected`, in order, each entry at its position.
void expectAligned(const MVGLDFileManager& m,
                   const std::vector<std::shared_ptr<LoadedFile>>& expected) {
    const std::size_t n = expected.size();
    ASSERT_EQ(m.gldFileNames().size(), n);
    ASSERT_EQ(m.arrayOfHeaders().size(), n);
    ASSERT_EQ(m.arrayOfSamples().size(), n);
    ASSERT_EQ(m.arrayOfSpeeds().size(), n);
    ASSERT_EQ(m.arrayOfFakeIndexes().size(), n);
    ASSERT_EQ(m.arrayOfDistances().size(), n);
    ASSERT_EQ(m.arrayOfMVLaps().size(), n);
    ASSERT_EQ(m.arrayOfAllLaps().size(), n);
    ASSERT_EQ(m.arrayOfPreciseLaps().size(), n);
    ASSERT_EQ(m.arrayOfWholeFileMVLaps().size(), n);
    ASSERT_EQ(m.arrayOfGLDURLs().size(), n);
    ASSERT_EQ(m.loadedFiles().size(), n);
    for (std::size_t k = 0; k < n; ++k) {
        const auto& f = *expected[k];
        SCOPED_TRACE(f.name());
        // The record is read back through the lists the public accessors hand out.
        EXPECT_TRUE(testing_support::fileAt(m.loadedFiles(), k) == f.file);
        EXPECT_EQ(m.gldFileNames()[k], f.name());
        EXPECT_EQ(m.arrayOfMVLaps()[k], f.file.laps.complete);
        EXPECT_EQ(m.arrayOfGLDURLs()[k], f.url);
        EXPECT_EQ(m.indexOfGLDFileName(f.name()), k);
    }
}

// Counts the removal notices posted while it lives.
class RemovalNotices {
  public:
    RemovalNotices()
        : token_(platform::NotificationCenter::defaultCenter().addObserver(
              MVNotificationGLDFileDidRemoved, nullptr, [this](const platform::Notification& n) {
                  ++count;
                  EXPECT_EQ(n.object, nullptr);
                  EXPECT_TRUE(n.userInfo.empty());
              })) {}
    int count = 0;

  private:
    platform::ObserverToken token_;
};

TEST(GLDFileManager, NewManagerIsEmpty) {
    MVGLDFileManager m;
    expectAligned(m, {});
    EXPECT_FALSE(m.trackInfo());
    EXPECT_FALSE(m.defaultTrackInfo());
    EXPECT_FALSE(m.referenceLap());
    EXPECT_FALSE(m.baseLocation());
    EXPECT_FALSE(m.delegate());
    EXPECT_FALSE(m.hasReparseHandler());
    EXPECT_EQ(m.speedUnitScale(), 0.0);
    EXPECT_EQ(m.sameFileNameCount(), 0);
    EXPECT_EQ(&MVGLDFileManager::sharedManager(), &MVGLDFileManager::sharedManager());
}

struct RemovalCase {
    const char* what;
    std::vector<std::int64_t> removals;
    std::vector<bool> results;
    std::vector<std::string> remaining;
};

TEST(GLDFileManager, PerFileListsStayAlignedThroughRemovals) {
    const std::vector<RemovalCase> cases = {
        {"middle", {1}, {true}, {"a", "c", "d"}},
        {"last", {3}, {true}, {"a", "b", "c"}},
        {"first", {0}, {true}, {"b", "c", "d"}},
        {"twice at the same place", {1, 1}, {true, true}, {"a", "d"}},
        {"from the end backwards", {3, 2, 1}, {true, true, true}, {"a"}},
        {"negative index", {-1}, {false}, {"a", "b", "c", "d"}},
        {"past the end", {4}, {false}, {"a", "b", "c", "d"}},
        {"past the end after a removal", {2, 3}, {true, false}, {"a", "b", "d"}},
        {"everything, first first", {0, 0, 0, 0}, {true, true, true, true}, {}},
        {"on an empty manager", {0, 0, 0, 0, 0}, {true, true, true, true, false}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MVGLDFileManager m;
        const auto files = makeFiles({"a", "b", "c", "d"});
        load(m, files);
        RemovalNotices notices;
        int posted = 0;
        for (std::size_t k = 0; k < c.removals.size(); ++k) {
            EXPECT_EQ(m.removeFileAtIndex(c.removals[k]), c.results[k]) << "removal " << k;
            posted += c.results[k] ? 1 : 0;
        }
        std::vector<std::shared_ptr<LoadedFile>> expected;
        for (const auto& name : c.remaining)
            for (const auto& f : files)
                if (f->name() == name) expected.push_back(f);
        expectAligned(m, expected);
        EXPECT_EQ(notices.count, posted);
    }
}

TEST(GLDFileManager, RemovingTheLastFileReturnsToTheEmptyState) {
    MVGLDFileManager m;
    load(m, makeFiles({"a", "b"}));
    const auto record = MVTrackInfo::instance();
    m.setTrackInfoWithoutReparse(record);
    m.setDefaultTrackInfo(record->copy());
    m.setSameFileNameCount(2);

    ASSERT_TRUE(m.removeFileAtIndex(1));
    EXPECT_EQ(m.trackInfo(), record);
    EXPECT_TRUE(m.baseLocation());
    EXPECT_TRUE(m.referenceLap());

    ASSERT_TRUE(m.removeFileAtIndex(0));
    expectAligned(m, {});
    EXPECT_FALSE(m.trackInfo());
    EXPECT_FALSE(m.defaultTrackInfo());
    EXPECT_FALSE(m.baseLocation());
    EXPECT_FALSE(m.referenceLap());
    EXPECT_EQ(m.sameFileNameCount(), 2);
}

// The reference lap is a lap of the first loaded file; once that file is removed no part of the
// manager may still point into it.
TEST(GLDFileManager, RemovingTheReferenceFileDropsItsReferenceLap) {
    MVGLDFileManager m;
    const auto files = makeFiles({"a", "b", "c"});
    load(m, files);
    const auto reference = m.referenceLap();
    ASSERT_EQ(reference->gldFile(), "a");
    RemovalNotices notices;

    ASSERT_TRUE(m.removeFileAtIndex(2));
    EXPECT_EQ(m.referenceLap(), reference) << "another file's removal keeps the reference";

    ASSERT_TRUE(m.removeFileAtIndex(0));
    EXPECT_FALSE(m.referenceLap());
    expectAligned(m, {files[1]});
    EXPECT_EQ(notices.count, 2);
}

// With the loading pipeline's re-parse installed, the remaining files are parsed again with the
// circuit record in use and the first of them gives the new reference lap.
TEST(GLDFileManager, RemovingTheReferenceFileStartsTheReparse) {
    MVGLDFileManager m;
    const auto files = makeFiles({"a", "b", "c"});
    load(m, files);
    const auto record = MVTrackInfo::instance();
    m.setTrackInfoWithoutReparse(record);

    std::vector<std::vector<std::filesystem::path>> reparsed;
    m.setReparseHandler([&](MVGLDFileManager& manager) {
        EXPECT_FALSE(manager.referenceLap());
        EXPECT_EQ(manager.trackInfo(), record);
        expectAligned(manager, {files[2], files[1]});
        // What setTrackInfo does: drop everything but the URLs, then load each URL again.
        const auto urls = manager.arrayOfGLDURLs();
        reparsed.push_back(urls);
        manager.removeAllData(false);
        manager.setArrayOfGLDURLs({});
        for (const auto& url : urls)
            for (const auto& f : files)
                if (f->url == url) load(manager, {f});
    });
    RemovalNotices notices;

    ASSERT_TRUE(m.removeFileAtIndex(1));
    EXPECT_TRUE(reparsed.empty()) << "the reference file is still loaded";
    EXPECT_FALSE(m.removeFileAtIndex(2));  // out of range now
    EXPECT_TRUE(reparsed.empty());

    load(m, {files[1]});
    ASSERT_TRUE(m.removeFileAtIndex(0));
    ASSERT_EQ(reparsed.size(), 1u);
    EXPECT_EQ(reparsed[0], (std::vector<std::filesystem::path>{files[2]->url, files[1]->url}));
    ASSERT_TRUE(m.referenceLap());
    EXPECT_EQ(m.referenceLap()->gldFile(), "c");
    EXPECT_EQ(m.trackInfo(), record);
    // One notice per removal: the re-parse posts the third through removeAllData.
    EXPECT_EQ(notices.count, 2);
}

TEST(GLDFileManager, RemoveAllDataKeepsTheURLsOnlyWhenAsked) {
    struct Case {
        bool includingURLs;
    };
    for (const Case c : {Case{false}, Case{true}}) {
        SCOPED_TRACE(c.includingURLs);
        MVGLDFileManager m;
        const auto files = makeFiles({"a", "b"});
        load(m, files);
        const auto record = MVTrackInfo::instance();
        m.setTrackInfoWithoutReparse(record);
        m.setDefaultTrackInfo(record->copy());
        const auto whole = MVLap::instance();
        m.setWholeFileLap(whole);
        m.setSameFileNameCount(3);
        m.setArrayOfAvailableTracks({record});
        RemovalNotices notices;

        m.removeAllData(c.includingURLs);

        EXPECT_EQ(notices.count, 1);
        EXPECT_FALSE(m.referenceLap());
        EXPECT_FALSE(m.baseLocation());
        EXPECT_TRUE(m.gldFileNames().empty());
        EXPECT_TRUE(m.arrayOfHeaders().empty());
        EXPECT_TRUE(m.arrayOfSamples().empty());
        EXPECT_TRUE(m.arrayOfSpeeds().empty());
        EXPECT_TRUE(m.arrayOfFakeIndexes().empty());
        EXPECT_TRUE(m.arrayOfDistances().empty());
        EXPECT_TRUE(m.arrayOfMVLaps().empty());
        EXPECT_TRUE(m.arrayOfAllLaps().empty());
        EXPECT_TRUE(m.arrayOfPreciseLaps().empty());
        EXPECT_TRUE(m.arrayOfWholeFileMVLaps().empty());
        if (c.includingURLs) {
            EXPECT_TRUE(m.arrayOfGLDURLs().empty());
            EXPECT_FALSE(m.trackInfo());
            EXPECT_FALSE(m.defaultTrackInfo());
        } else {
            EXPECT_EQ(m.arrayOfGLDURLs(),
                      (std::vector<std::filesystem::path>{files[0]->url, files[1]->url}));
            EXPECT_EQ(m.trackInfo(), record);
            EXPECT_TRUE(m.defaultTrackInfo());
        }
        EXPECT_EQ(m.wholeFileLap(), whole);
        EXPECT_EQ(m.sameFileNameCount(), 3);
        EXPECT_EQ(m.arrayOfAvailableTracks().size(), 1u);

        // Files loaded afterwards line up from position 0 again.
        if (!c.includingURLs) m.setArrayOfGLDURLs({});
        const auto again = makeFiles({"x", "y"});
        load(m, again);
        expectAligned(m, again);
    }
}

// A removal in the middle of a load (the URL is appended last) must not touch a list that does
// not reach the position.
TEST(GLDFileManager, RemovalToleratesAListThatIsOneShort) {
    MVGLDFileManager m;
    const auto files = makeFiles({"a", "b"});
    load(m, files);
    auto urls = m.arrayOfGLDURLs();
    urls.pop_back();
    m.setArrayOfGLDURLs(urls);

    ASSERT_TRUE(m.removeFileAtIndex(1));
    expectAligned(m, {files[0]});
}

// A load appends a file's series before its laps are cut (lap cutting finds the file's samples by
// its name), and its laps afterwards; in between only the lap lists are one short.
TEST(GLDFileManager, LoadedFilesAppendSeriesThenLaps) {
    MVLoadedFiles lists;
    const auto files = makeFiles({"a", "b"});
    lists.append(files[0]->file);

    lists.appendSeries(files[1]->file.series);
    EXPECT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists.names().back(), "b");
    EXPECT_EQ(lists.allLaps().size(), 1u);
    EXPECT_THROW(testing_support::fileAt(lists, 1), std::out_of_range);
    EXPECT_FALSE(lists.holdsLap(1, files[1]->file.laps.all->lapAtIndex(0)));

    lists.appendLaps(files[1]->file.laps);
    EXPECT_TRUE(testing_support::fileAt(lists, 1) == files[1]->file);
    EXPECT_TRUE(lists.holdsLap(1, files[1]->file.laps.all->lapAtIndex(2)));
    EXPECT_FALSE(lists.holdsLap(0, files[1]->file.laps.all->lapAtIndex(2)));

    lists.clear();
    EXPECT_EQ(lists.size(), 0u);
}

// The shared manager's lists are written on the loading queue only: a writer called elsewhere
// writes nothing and says so, and on the queue it writes as an unbound manager's does.
TEST(GLDFileManager, ABoundManagerWritesItsListsOnTheLoadingQueueOnly) {
    EXPECT_TRUE(MVGLDFileManager::sharedManager().listsBoundToLoadingQueue());
    EXPECT_FALSE(MVGLDFileManager().listsBoundToLoadingQueue());
    const auto record = MVTrackInfo::instance();
    using Manager = MVGLDFileManager;
    const struct {
        const char* operation;                // named in the refusal
        std::function<bool(Manager&)> write;  // its answer; false where it answers nothing
        std::function<bool(const Manager&)> written;
    } writers[] = {
        {"removeFileAtIndex", [](Manager& m) { return m.removeFileAtIndex(0); },
         [](const Manager& m) { return m.loadedFiles().size() == 1; }},
        {"removeAllData", [](Manager& m) { return m.removeAllData(true), false; },
         [](const Manager& m) { return m.loadedFiles().size() == 0; }},
        {"replaceLoadedFiles", [](Manager& m) { return m.replaceLoadedFiles({}); },
         [](const Manager& m) { return m.loadedFiles().size() == 0; }},
        {"setArrayOfGLDURLs", [](Manager& m) { return m.setArrayOfGLDURLs({}), false; },
         [](const Manager& m) { return m.arrayOfGLDURLs().empty(); }},
        {"setTrackInfo", [&](Manager& m) { return m.setTrackInfo(record), false; },
         [&](const Manager& m) { return m.trackInfo() == record && m.gldFileNames().empty(); }},
        {"startGLDProcess", [](Manager& m) { return m.loadGLDFileWithURL("/sessions/none.gld"); },
         [](const Manager& m) { return !m.lastFailureText().empty(); }},
        {"startGLDProcessWithData",
         [](Manager& m) { return m.startGLDProcessWithData("", "/sessions/e.gld", false); },
         [](const Manager& m) { return !m.lastFailureText().empty(); }},
    };
    for (const auto& w : writers) {
        SCOPED_TRACE(w.operation);
        MVGLDFileManager m;
        const auto files = makeFiles({"a", "b"});
        load(m, files);
        m.bindListsToLoadingQueue();

        testing::internal::CaptureStderr();
        EXPECT_FALSE(w.write(m));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(std::string("MVGLDFileManager::") + w.operation +
                            " must run on the loading queue"),
                  std::string::npos)
            << said;
        expectAligned(m, files);
        EXPECT_FALSE(m.trackInfo());
        EXPECT_TRUE(m.lastFailureText().empty());

        MVGLDFileManager::loadingQueue().async([&] { w.write(m); });
        // setTrackInfo queues its re-parse behind itself.
        for (int hop = 0; hop < 2; ++hop) {
            ASSERT_TRUE(MVGLDFileManager::loadingQueue().drainFor(std::chrono::seconds(20)));
        }
        EXPECT_TRUE(w.written(m));
    }
}

class RecordingDelegate : public MVParsingProcessDelegate {
  public:
    void parsingStatus(std::int32_t code) override { codes.push_back(code); }
    std::vector<std::int32_t> codes;
};

TEST(GLDFileManager, StatusesReachALivingDelegateOnly) {
    MVGLDFileManager m;
    m.sendParsingStatus(MVParsingStatus::kStarted);  // no delegate: nothing happens

    auto delegate = std::make_shared<RecordingDelegate>();
    m.setDelegate(delegate);
    EXPECT_EQ(m.delegate(), delegate);
    for (std::int32_t code = MVParsingStatus::kStarted; code <= MVParsingStatus::kFinished; ++code)
        m.sendParsingStatus(code);
    m.sendParsingStatus(MVParsingStatus::kNoCircuit);
    EXPECT_EQ(delegate->codes, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12}));

    delegate.reset();
    EXPECT_FALSE(m.delegate());
    m.sendParsingStatus(MVParsingStatus::kFinished);
}

// Candidate circuits come from the session's middle row (row count / 2), whose position is read
// in the session file's convention (minutes, longitude west-positive).
TEST(GLDFileManager, AvailableTracksAreReadForTheMiddleSample) {
    TempDir dir;
    MVGLDFileManager m;
    m.setShippedCircuitDatabase(dir.write(
        "db.xml",
        "<circuits><circuit name=\"Near\" length=\"2000\" min=\"-60.5,2999.5\" "
        "max=\"-59.5,3000.5\">"
        "<startFinish oldlat=\"2999.99\" oldlong=\"-60\" lat=\"3000\" long=\"-60\"/></circuit>"
        "</circuits>"));
    const std::vector<std::string> headers = {"time", "latitude", "longitude"};
    const MVSampleRow near = {"120000.00", "3000.0", "60.0"};  // 50 N, 1 W
    const MVSampleRow far = {"120000.00", "3100.0", "60.0"};
    auto fake = MVFakeIndexes::instance();

    struct Case {
        MVSampleRows rows;
        std::size_t found;
    };
    for (const auto& c : {Case{{near}, 1}, Case{{far, near}, 1}, Case{{far, near, far}, 1},
                          Case{{near, far, near}, 0}, Case{{far, far, near, far}, 1},
                          Case{{near, near, far, near}, 0}}) {
        const auto tracks = m.fetchAvailableTracksWithArrayOfHeader(headers, c.rows, *fake);
        ASSERT_TRUE(tracks.has_value());
        ASSERT_EQ(tracks->size(), c.found) << c.rows.size() << " rows";
        if (c.found) {
            EXPECT_EQ(tracks->front()->trackName(), "Near");
        }
    }
    EXPECT_EQ(m.fetchAvailableTracksWithArrayOfHeader(headers, {}, *fake)->size(), 0u);

    m.setShippedCircuitDatabase(dir / "missing.xml");
    EXPECT_FALSE(m.fetchAvailableTracksWithArrayOfHeader(headers, {near}, *fake).has_value());

    // Database text held in memory is read in place of the files (here: none can be read), the
    // same way: cut short, what came before the cut is kept.
    const std::string held =
        "<circuits><circuit name=\"Held\" length=\"2000\" min=\"-60.5,2999.5\" "
        "max=\"-59.5,3000.5\"><startFinish oldlat=\"2999.99\" oldlong=\"-60\" lat=\"3000\" "
        "long=\"-60\"/></circuit>";
    for (const std::string& xml : {held + "</circuits>", held + "<circuit name="}) {
        m.setCircuitDatabaseText(std::make_shared<const std::string>(xml));
        const auto tracks = m.fetchAvailableTracksWithArrayOfHeader(headers, {near}, *fake);
        ASSERT_TRUE(tracks.has_value());
        ASSERT_EQ(tracks->size(), 1u);
        EXPECT_EQ(tracks->front()->trackName(), "Held");
        EXPECT_EQ(m.fetchAvailableTracksWithArrayOfHeader(headers, {far}, *fake)->size(), 0u);
    }
}

}  // namespace
