// Sealed evidence against the tries of someone who wants a changed export to pass: each try on a
// genuine export fails the check with its reason, the genuine one passes naming its signer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/sha256.h"
#include "platform/station_key.h"
#include "recording/archive_catalog.h"
#include "recording/camera_track.h"
#include "support/process.h"
#include "support/recordings.h"
#include "viewer/evidence_check.h"

namespace kel {
namespace {

namespace fs = std::filesystem;

// `from` replaced by `to` in the file, once; the test fails when it is not there.
void Edit(const std::string& path, const std::string& from, const std::string& to) {
    std::string text = ReadFile(path);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << path;
    WriteFile(path, text.replace(at, from.size(), to));
}

// One byte of a file changed.
void Flip(const std::string& path, std::streamoff at) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(at);
    const char c = static_cast<char>(f.get());
    f.seekp(at);
    f.put(static_cast<char>(c ^ 0x5a));
}

class EvidenceSealTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int n : {1, 2})
            archive.Record(n, At(10, 0, 0), n == 1 ? 10 : 15);
        ArchiveCatalog catalog{archive.dir.Path()};
        ASSERT_TRUE(catalog.Load());
        std::string error;
        key = StationKey::LoadOrCreate(archive.dir.Path(), error);
        ASSERT_TRUE(key) << error;
        forger = StationKey::LoadOrCreate(forgerDir.Path(), error);
        ASSERT_TRUE(forger) << error;
        for (int n : {1, 2})
            tracks.push_back(std::make_unique<CameraTrack>(catalog.Entries(n)));
        std::vector<EvidenceCamera> cameras;
        for (int n : {1, 2}) {
            CameraTrack* track = tracks[n - 1].get();
            cameras.push_back({n, "Brama " + std::to_string(n), track, track->After(0),
                               track->AtOrBefore(MsOf(At(11, 0, 0)))});
        }
        EvidenceInfo info{"Stacja Północ",       "anna",   "2026-12-08 14:00:00", "2026-12-07 10:00:00",
                          "2026-12-07 10:00:02", key.get()};
        const EvidenceResult r = ExportEvidence(cameras, info, genuine);
        ASSERT_TRUE(r.ok) << r.error;
        EvidenceInfo unsigned_ = info;
        unsigned_.key = nullptr;
        const EvidenceResult refused = ExportEvidence(cameras, unsigned_, archive.dir / "Bez_klucza");
        EXPECT_FALSE(refused.ok) << "no export without the station's key";
        EXPECT_EQ(refused.error, "brak klucza podpisu stacji");
        EXPECT_FALSE(fs::exists(archive.dir / "Bez_klucza"));
    }

    // A copy of the genuine export to try something on.
    std::string Copy(const std::string& name) {
        const std::string folder = archive.dir / name;
        fs::copy(genuine, folder);
        return folder;
    }
    // The manifest signed again by the forger, whose public key goes beside it.
    void ResignAsForger(const std::string& folder) {
        WriteFile(folder + "/manifest.sig", forger->Sign(ReadFile(folder + "/manifest.json")));
        WriteFile(folder + "/station-key.pem", forger->PublicPem());
    }
    EvidenceTrust Station() const { return {key->Fingerprint(), "klucz tej stacji"}; }

    TestArchive archive;
    TempDir forgerDir;
    std::shared_ptr<const StationKey> key, forger;
    std::vector<std::unique_ptr<CameraTrack>> tracks;
    std::string genuine = archive.dir / "Dowod";
};

TEST_F(EvidenceSealTest, TheGenuineExportIsSignedByTheStationAndPassesNamingItsKey) {
    for (const char* name :
         {"manifest.json", "manifest.sig", "station-key.pem", "Kamera1.avi", "Kamera2.avi"})
        EXPECT_TRUE(fs::is_regular_file(genuine + "/" + name)) << name;
    const std::string manifest = ReadFile(genuine + "/manifest.json");
    for (const std::string& part :
         {std::string("\"station\": \"Stacja Północ\""), "\"station_key\": \"" + key->Fingerprint() + "\"",
          std::string("\"exported_by\": \"anna\""), std::string("\"from\": \"2026-12-07 10:00:00\""),
          std::string("\"camera\": 2"), "\"sha256\": \"" + Sha256File(genuine + "/Kamera2.avi") + "\""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part << "\n" << manifest;
    EXPECT_EQ(ReadFile(genuine + "/station-key.pem"), ReadFile(StationKey::PublicPath(archive.dir.Path())));
    EXPECT_TRUE(key->Verify(manifest, ReadFile(genuine + "/manifest.sig")));

    for (const EvidenceTrust& trust : {EvidenceTrust{}, Station()}) {
        const EvidenceCheck check = VerifyEvidence(genuine, trust);
        EXPECT_TRUE(check.whole) << (check.wrong.empty() ? check.error : check.wrong.front());
        EXPECT_TRUE(check.sealed);
        EXPECT_EQ(check.trusted, !trust.fingerprint.empty());
        EXPECT_EQ(check.signer, key->FingerprintText());
        EXPECT_EQ(check.good, (std::vector<std::string>{"Kamera1.avi", "Kamera2.avi"}));
    }
}

// Every try fails, compared with the station's key as on the station itself; each for its reason.
TEST_F(EvidenceSealTest, EveryForgeryOfAnExportFailsWithItsReason) {
    struct Try {
        const char* what;
        std::function<void(const std::string& folder)> change;
        const char* reason;
    };
    const Try tries[] = {
        {"a manifest field edited",
         [](const std::string& f) {
             Edit(f + "/manifest.json", "\"exported_by\": \"anna\"", "\"exported_by\": \"ewa\"");
         },
         "manifest.json: podpis się nie zgadza"},
        {"a video edited, its new hash put in the manifest, a time moved back",
         [](const std::string& f) {
             const std::string before = Sha256File(f + "/Kamera2.avi");
             Flip(f + "/Kamera2.avi", 3000);
             Edit(f + "/manifest.json", before, Sha256File(f + "/Kamera2.avi"));
             Edit(f + "/manifest.json", "\"from\": \"2026-12-07 10:00:00\"",
                  "\"from\": \"2026-12-07 09:00:00\"");
         },
         "manifest.json: podpis się nie zgadza"},
        {"a video replaced by another",
         [](const std::string& f) {
             fs::copy_file(f + "/Kamera1.avi", f + "/Kamera2.avi", fs::copy_options::overwrite_existing);
         },
         "Kamera2.avi: inn"},
        {"a video removed", [](const std::string& f) { fs::remove(f + "/Kamera1.avi"); },
         "Kamera1.avi: brak pliku"},
        {"a file added", [](const std::string& f) { WriteFile(f + "/notatka.txt", "x"); },
         "notatka.txt: plik spoza manifestu"},
        {"the signature removed", [](const std::string& f) { fs::remove(f + "/manifest.sig"); },
         "manifest.sig: brak podpisu"},
        {"the signature damaged", [](const std::string& f) { Flip(f + "/manifest.sig", 10); },
         "manifest.json: podpis się nie zgadza"},
        {"the key removed", [](const std::string& f) { fs::remove(f + "/station-key.pem"); },
         "station-key.pem: brak klucza"},
        {"the key damaged",
         [](const std::string& f) { WriteFile(f + "/station-key.pem", "-----BEGIN PUBLIC KEY-----\n"); },
         "station-key.pem: "},
        {"a video edited, re-signed with a key of one's own",
         [this](const std::string& f) {
             const std::string before = Sha256File(f + "/Kamera2.avi");
             Flip(f + "/Kamera2.avi", 3000);
             Edit(f + "/manifest.json", before, Sha256File(f + "/Kamera2.avi"));
             Edit(f + "/manifest.json", key->Fingerprint(), forger->Fingerprint());
             ResignAsForger(f);
         },
         "station-key.pem: to nie klucz tej stacji"},
        {"re-signed with a key of one's own that the manifest does not name",
         [this](const std::string& f) { ResignAsForger(f); },
         "manifest.json: \"station_key\" nie jest odciskiem klucza"},
    };
    int n = 0;
    for (const Try& t : tries) {
        const std::string folder = Copy("Proba" + std::to_string(++n));
        t.change(folder);
        const EvidenceCheck check = VerifyEvidence(folder, Station());
        EXPECT_FALSE(check.whole) << t.what;
        EXPECT_EQ(check.error, "") << t.what;
        std::string all;
        for (const std::string& w : check.wrong)
            all += w + "\n";
        EXPECT_NE(all.find(t.reason), std::string::npos) << t.what << ":\n" << all;
    }
    // The re-signed forgery is whole to anyone who trusts no key: the signer it names tells it.
    const EvidenceCheck alone = VerifyEvidence(archive.dir / "Proba10");
    EXPECT_TRUE(alone.whole);
    EXPECT_EQ(alone.signer, forger->FingerprintText());
    EXPECT_NE(alone.signer, key->FingerprintText());
}

TEST_F(EvidenceSealTest, TheKeyToCompareWithIsTheOneGivenElseTheStationsOwn) {
    const std::string pem = archive.dir / "stacja.pem", damaged = archive.dir / "zly.pem";
    WriteFile(pem, key->PublicPem());
    WriteFile(damaged, "nie klucz");
    TempDir noStation, brokenStation;
    WriteFile(StationKey::PrivatePath(brokenStation.Path()), "nie klucz");
    struct Case {
        std::string key, workDir;
        bool ok;
        std::string fingerprint;
        const char* says;  // the source, or the error
    };
    const Case cases[] = {
        {"", archive.dir.Path(), true, key->Fingerprint(), "klucz tej stacji"},
        {"", noStation.Path(), true, "", ""},
        {pem, noStation.Path(), true, key->Fingerprint(), "--key"},
        {key->FingerprintText(), noStation.Path(), true, key->Fingerprint(), "--key"},
        {forger->Fingerprint(), archive.dir.Path(), true, forger->Fingerprint(), "--key"},
        {"abc", archive.dir.Path(), false, "", "ani plik klucza publicznego, ani odcisk"},
        {damaged, archive.dir.Path(), false, "", "jest uszkodzony"},
        {"", brokenStation.Path(), false, "", "klucz tej stacji: "},
    };
    for (const Case& c : cases) {
        EvidenceTrust trust;
        std::string error;
        EXPECT_EQ(TrustedKey(c.key, c.workDir, trust, error), c.ok) << c.key << " " << error;
        EXPECT_EQ(trust.fingerprint, c.fingerprint) << c.key;
        EXPECT_NE((c.ok ? trust.source : error).find(c.says), std::string::npos) << c.key << ": " << error;
    }
    EXPECT_TRUE(fs::is_empty(noStation.Path())) << "checking never makes a key";
}

// kel-viewer --verify itself: the genuine export passes with its signer named; a re-signed forgery
// fails on the station and against --key, and passes to nobody without saying whose key it is.
TEST_F(EvidenceSealTest, KelViewerVerifyPrintsTheSignerAndFailsAForgerysKey) {
    const std::string forged = Copy("Falszywy");
    const std::string before = Sha256File(forged + "/Kamera1.avi");
    Flip(forged + "/Kamera1.avi", 3000);
    Edit(forged + "/manifest.json", before, Sha256File(forged + "/Kamera1.avi"));
    Edit(forged + "/manifest.json", key->Fingerprint(), forger->Fingerprint());
    ResignAsForger(forged);
    const std::string edited = Copy("Zmieniony");
    Edit(edited + "/manifest.json", "\"exported_by\": \"anna\"", "\"exported_by\": \"ewa\"");
    TempDir noStation;
    auto verify = [&](std::vector<std::string> args, std::string& out) {
        Process viewer(KEL_VIEWER_BINARY, args, {}, archive.dir / "verify.out", archive.dir / "verify.err");
        const int status = viewer.Wait(std::chrono::seconds(30));
        out = viewer.Out() + viewer.Err();
        return status;
    };
    const std::string station = "Podpisane kluczem stacji: " + key->FingerprintText();
    const std::string stranger = "Podpisane kluczem stacji: " + forger->FingerprintText();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {{"--verify", genuine, "--workdir", archive.dir.Path()},
         0,
         {station, "Klucz zgodny: klucz tej stacji", "zgodny: Kamera2.avi",
          "Eksport jest nienaruszony (2 plików)."}},
        {{"--workdir", noStation.Path(), "--verify", genuine, "--key", key->FingerprintText()},
         0,
         {station, "Klucz zgodny: klucz podany w --key"}},
        {{"--verify", genuine, "--workdir", noStation.Path()}, 0, {station, "Porównaj ten odcisk"}},
        {{"--verify", forged, "--workdir", archive.dir.Path()},
         1,
         {stranger, "NIEZGODNY: station-key.pem: to nie klucz tej stacji (" + key->FingerprintText() + ")",
          "Eksport został zmieniony albo jest niepełny"}},
        {{"--verify", forged, "--workdir", noStation.Path(), "--key",
          StationKey::PublicPath(archive.dir.Path())},
         1,
         {stranger, "NIEZGODNY: station-key.pem: to nie klucz podany w --key"}},
        {{"--verify", forged, "--workdir", noStation.Path()}, 0, {stranger, "Porównaj ten odcisk"}},
        {{"--verify", edited, "--workdir", archive.dir.Path()},
         1,
         {"Klucz w station-key.pem (podpis się nie zgadza): " + key->FingerprintText(),
          "NIEZGODNY: manifest.json: podpis się nie zgadza"}},
        {{"--verify", genuine, "--key", "nie-odcisk"}, 2, {"--key: \"nie-odcisk\" to ani plik"}},
        {{"--key", key->Fingerprint()}, 2, {"--key goes with --verify"}},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(verify(c.args, out), c.status) << out;
        for (const std::string& text : c.says)
            EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    }
}

}  // namespace
}  // namespace kel
