#pragma once
// One body (RunOracle::check) runs a row of the run model (RunModel.h) on
// the real engine and checks every prediction; the engine and the
// fault-device suites each give a table.
#include <fcntl.h>

#include <regex>
#include <thread>

#include "support/Hasher.h"
#include "tests/AccessModes.h"
#include "tests/engine/RunModel.h"

namespace mdi::test {

// The window is locked for the run and unlocked at its end, in this order:
// Close, the two frames, Run and the job editor off, Stop and the timer on.
inline void expectLockedThenUnlocked(const std::vector<std::string>& log) {
  std::vector<std::string> want;
  for (const bool lock : {true, false}) {
    const std::string off = lock ? " 0" : " 1", on = lock ? " 1" : " 0";
    want.push_back("close" + off);
    for (const char* c : {"Frame1", "Frame3", "Command1", "Command2"}) want.push_back("enable " + std::string(c) + off);
    for (const char* c : {"XPButton1", "Timer1"}) want.push_back("enable " + std::string(c) + on);
  }
  std::vector<std::string> got;  // from the last run's lock on (choosing a target at Run enables some before)
  const auto lock = std::find(log.rbegin(), log.rend(), "close 0").base() - 1;
  std::copy_if(lock, log.end(), std::back_inserter(got),
               [&](const std::string& l) { return std::ranges::count(want, l); });
  EXPECT_EQ(got, want);
}

// The pass a map says its job was in: the status of its status line, the
// first that is not a comment.
inline char passOf(const std::string& mapText) {
  std::smatch m;
  return std::regex_search(mapText, m, std::regex(R"((^|\n)0x\w+\s+(\S))")) ? m.str(2).at(0) : 0;
}

inline std::string sha256Of(const Bytes& b) {
  Hasher h({HashAlgo::Sha256});
  h.update(b);
  return h.finish().digests.at(0).hex;
}

class RunOracle : public RunFixture, public ::testing::WithParamInterface<Row> {
 public:
  // Lays the row's source out and adds it as job 1; its bytes, the path
  // its record names, and what else the record says of it.
  struct Made {
    Bytes data;
    std::string path;
    Fields record{};
  };
  virtual Made makeSource(const Row& r) = 0;

  void check(const Row& r) {
    setMutate(r.mutate != 0);
    form.Options.layout = r.layout;
    form.Options.goPastErrors = r.goPast;
    form.Options.retryPasses = r.retries;
    form.Options.hashes = r.hashes;
    form.Options.verifyImages = form.Options.rereadSources = r.verify;
    ui.setChecked(Ctl::Check4, r.forceRead);
    ui.setChecked(Ctl::Check1, r.shutdown);
    const Made made = makeSource(r);
    std::vector<std::string> sources{made.path};
    std::vector<Bytes> others;
    for (const Other& o : r.others) {
      others.push_back(patternBytes(o.bytes, 6 + others.size()));
      sources.push_back(src("beside" + std::to_string(others.size()) + ".img", others.back()));
      addFileJob(sources.back(), o.declared, std::to_string(r.alone(o).s()), std::to_string(r.t));
    }
    if (r.gone) fs::remove(made.path);
    const auto reads = std::make_shared<ReadLog>();
    if (r.from == From::File && !r.gone) {
      files.badRanges[made.path] = r.bad;
      files.readLogs[made.path] = reads;
    }
    if (r.write == Write::Full || r.write == Write::FullOnce) files.writeLimit[output(1)] = r.limit;
    if (r.write == Write::FullOnce) files.writeLimitOnce.insert(output(1));  // a later write goes through
    if (r.write == Write::FailedSync) files.failSync.insert(output(1));
    if (r.write == Write::PrepareFails) files.failResize.insert(output(1));
    if (r.write == Write::FailedCut) files.failCut.insert(output(1));
    if (r.write == Write::AlteredBeforeVerify) {
      pump.every([this] {
        if (status(1) != "Verifying...") return;
        std::fstream f(output(1), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(1000);
        f.put('\x7f');
      });
    }
    std::optional<std::uint64_t> atExit;
    std::optional<bool> locked;               // the job grid, at the first cycle (the rest is in the log)
    std::vector<std::vector<int>> openModes;  // of each source then
    pump.at(1, [&] {
      locked = !form.iGrid2.acceptsInput();
      for (const std::string& path : sources) openModes.push_back(accessModesOf(path));
    });
    if (r.end == End::Stop) pressStopAt(r.step);
    if (r.end == End::StopAnsweredNo) pressStopAt(r.step, MsgAnswer::No);
    if (r.end == End::Exit) {
      pump.at(r.step, [&] {
        controller.closeAllFiles();
        atExit = fs::file_size(output(1));
      });
    }
    if (r.resume != Resume::No) breakOff(r, *reads);
    const Prediction p = predict(r, made.data);
    if (r.spare) fsys.free = p.needed + *r.spare;
    // A mutate job writes whole blocks of target sectors each step.
    std::vector<std::uint64_t> sizes;
    const bool stepped = r.mutate && p.pumpCalls && r.end == End::Done && r.bytes > 0;
    if (stepped) pump.every([&] { sizes.push_back(fs::file_size(output(1))); });
    std::size_t statusesAtMessage = 0;
    msg.onShow = [&](const Message&) { statusesAtMessage = ui.statusHistory.size(); };
    StatusTrail trail(form.iGrid2);

    controller.RunClicked();

    for (std::size_t k = 0; k < others.size(); ++k) {
      const int row = static_cast<int>(k) + 2;
      SCOPED_TRACE("the job beside, " + std::to_string(row));
      const Row alone = r.alone(r.others[k]);
      const Prediction q = predict(alone, others[k]);
      EXPECT_EQ(status(row), q.status);
      if (!q.trail.empty()) { EXPECT_EQ(trail.rows[row], q.trail); }
      const Bytes got = readFile(output(row)), want = layoutOracle(r.layout, alone.s(), r.t, q.copied).image;
      EXPECT_TRUE(got == want) << firstDifference(got, want);
    }
    checkRun(r, p, locked, openModes);
    if (r.gone) {
      // Not imaged, saying why: no image, record or checksum, and nothing asked.
      EXPECT_EQ(trail.rows[1], std::vector<std::string>{"Not imaged: " + made.path +
                                                        " could not be opened: No such file or directory"});
      for (const char* beside : {"", ".log", ".sha256"}) EXPECT_FALSE(fs::exists(output(1) + beside)) << beside;
      EXPECT_TRUE(msg.shown.empty());
      return;
    }
    ASSERT_EQ(status(1), p.status) << (msg.shown.empty() ? "" : msg.shown[0].text);
    if (r.resume != Resume::No) { EXPECT_EQ(msg.shown.at(0).buttons, MsgButtons::YesNoResume); }
    const Split want = layoutOracle(r.layout, static_cast<std::size_t>(r.s()), static_cast<std::size_t>(r.t), p.copied);
    const Bytes image = readFile(output(1));
    if (r.write == Write::FailedCut) {
      EXPECT_GT(image.size(), want.image.size()) << "the cut failed";
    } else if (r.write != Write::AlteredBeforeVerify) {
      const Bytes wantImage(want.image.begin(), want.image.begin() + static_cast<long>(std::min<std::uint64_t>(
                                                                         p.imageSize.value_or(-1), want.image.size())));
      EXPECT_TRUE(image == wantImage) << firstDifference(image, wantImage);
    }
    // A job that leaves part of each sector out writes it to a .extra.
    if (p.extraKnown && r.s() <= r.t) {
      EXPECT_FALSE(fs::exists(extraOf(1))) << "nothing is left out, so no .extra";
    } else if (p.extraKnown) {
      const Bytes extra = readFile(extraOf(1));
      EXPECT_TRUE(extra == want.extra) << firstDifference(extra, want.extra);
    }
    if (!p.trail.empty()) { EXPECT_EQ(trail.rows[1], p.trail); }
    if (p.bytesDone) { EXPECT_EQ(form.run.BytesDone, *p.bytesDone); }
    if (p.bytesDone && p.status == "Done.") {
      EXPECT_EQ(ui.text(Ctl::Label5), formatGrouped(*p.bytesDone - 512, locale.sep)) << "the main pass's bytes";
    }
    if (p.pumpCalls) { EXPECT_EQ(pump.calls, *p.pumpCalls); }
    if (!p.statusBar.empty()) { EXPECT_EQ(ui.statusHistory, p.statusBar); }
    if (atExit) { EXPECT_EQ(*atExit, want.image.size()) << "Exit leaves the image cut to what was copied"; }
    EXPECT_EQ(msg.titles(), p.titles);
    if (r.end == End::StopAnsweredNo) {
      EXPECT_EQ(msg.shown[0].text, "Stop the imaging process, are you sure");
      EXPECT_TRUE(msg.shown[0].systemModal);
      EXPECT_EQ(form.run.StopRequested, 0);
    }
    if (p.titles == std::vector<std::string>{"Write Error"}) {
      EXPECT_EQ(msg.shown[0].text, "Unable to write to file " + output(1) + ".");
    } else if (p.titles == std::vector<std::string>{"Error"} && r.mutate) {
      EXPECT_EQ(msg.shown[0].text, r.forceRead ? "There may be a problem with the drive as data could not be copied."
                                               : "No data was copied, there may be a problem with sector sizing. Try "
                                                 "again with Force read option set (if available)");
      EXPECT_EQ(msg.shown[0].icon, MsgIcon::Information);
      ASSERT_GT(ui.statusHistory.size(), statusesAtMessage);
      EXPECT_EQ(ui.statusHistory[statusesAtMessage], "Closing files..") << "shown before the files close";
    }
    if (stepped) {
      const BlockLengths l = blockTable().at({r.s(), r.t});
      const std::uint64_t perStep = blocksPerPiece(l.read, true) * l.write;
      for (std::uint64_t k = 0; k < sizes.size(); ++k)
        EXPECT_EQ(sizes[k], std::min<std::uint64_t>((k + 1) * perStep, image.size())) << "step " << k + 1;
    }
    if (r.goPast && r.from == From::File) {
      // No bad sector read more often than once per pass.
      for (const BadRange& b : r.bad) {
        for (std::uint64_t at = b.begin / r.s() * r.s(); at < b.end; at += r.s()) {
          const auto touched = std::ranges::count_if(
              *reads, [&](const ReadSpan& x) { return x.pos < at + r.s() && x.pos + x.length > at; });
          EXPECT_LE(touched, 2 + r.retries) << "reads over the bad sector at " << at;
        }
      }
    }
    checkRecord(r, made, p, want);
  }

 private:
  // What belongs to the run as a whole.
  void checkRun(const Row& r, const Prediction& p, std::optional<bool> locked,
                const std::vector<std::vector<int>>& openModes) {
    EXPECT_EQ(form.run.TotalBytes, p.totalBytes);
    if (p.bar) { EXPECT_EQ(ui.progressMaximum(), p.bar); }
    EXPECT_EQ(std::ranges::count(ui.log, "visible ProgBarXP1 1") > 0, p.bar > 0) << "the bar is shown";
    EXPECT_FALSE(ui.isVisible(Ctl::ProgBarXP1));
    if (locked) { EXPECT_TRUE(*locked) << "the window is locked during the run"; }
    expectLockedThenUnlocked(ui.log);
    EXPECT_TRUE(ui.closeAllowed);
    EXPECT_TRUE(form.iGrid2.acceptsInput());
    if (!p.statusBar.empty() && r.from == From::File) {
      for (const auto& modes : openModes) EXPECT_EQ(modes, std::vector<int>{O_RDONLY}) << "sources are read only";
    }
    // The computer is shut down only when asked and the run came to its end;
    // after "Process Complete". It can be called off, pending or not.
    const bool shutsDown = r.shutdown && r.end != End::Stop && r.end != End::Exit;
    std::vector<std::string> commands(shutsDown ? 1 : 0, "shutdown -P +1");
    EXPECT_EQ(launcher.commands, commands);
    if (shutsDown) {
      const auto complete = std::ranges::find(ui.log, "status 1 Process Complete");
      EXPECT_LT(complete, std::ranges::find(ui.log, "visible Command6 1"));
    }
    controller.AbortShutdownClicked();
    commands.push_back("shutdown -c");
    EXPECT_EQ(launcher.commands, commands);
    EXPECT_FALSE(ui.isVisible(Ctl::Command6));
  }
  // Runs the row broken off as it says; what it leaves, the next Run finds.
  void breakOff(const Row& r, ReadLog& reads) {
    form.Options.goPastErrors = r.resume != Resume::AfterReadError;
    std::map<std::string, Bytes> atKill;
    if (r.resume == Resume::AfterStop) pressStopAt(r.step);
    if (r.resume == Resume::AfterExit) pump.at(r.step, [this] { controller.closeAllFiles(); });
    if (r.resume == Resume::AfterKill) {
      // What is on disk once a map has been saved mid-run: the image goes
      // on being written after it.
      pump.at(2, [this] { clock.now += 31000; });
      pump.at(r.step, [&] {
        const fs::path map = output(1) + ".map";
        for (int i = 0; i < 300 && !fs::exists(map); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const char* beside : {"", ".extra", ".map"})
          if (fs::exists(output(1) + beside)) atKill[beside] = readFile(output(1) + beside);
        pressStop();
      });
    }
    controller.RunClicked();
    if (r.resume == Resume::AfterKill) {
      for (const char* beside : {"", ".extra", ".sha256", ".log", ".map"}) fs::remove(output(1) + beside);
      for (const auto& [beside, bytes] : atKill) writeBytes(output(1) + beside, bytes);
      EXPECT_TRUE(atKill.contains(".map")) << "no map was saved during the run";
    } else if (r.resume == Resume::AfterReadError) {
      EXPECT_TRUE(status(1).starts_with("Read Error ... at byte ")) << status(1);
    } else {
      EXPECT_EQ(status(1), "Stopped") << "the run was not broken off";
      EXPECT_EQ(passOf(fileText(output(1) + ".map")), r.pass);
    }
    form.Options.goPastErrors = true;
    reads.clear();
    msg.shown.clear();
    msg.answerOnce("File exists", MsgAnswer::Resume);
  }
  void checkRecord(const Row& r, const Made& made, const Prediction& p, const Split& want) {
    const std::string log = record(1);
    const fs::path image(output(1));
    Fields expected{{"outcome", p.status},
                    {"image_path", image.string()},
                    {"source_path", made.path},
                    {"bytes_written", std::to_string(p.imageSize.value_or(want.image.size()))},
                    {"sector_mutate", r.mutate ? "yes" : "no"},
                    {"sector_in", std::to_string(r.s())},
                    {"sector_out", std::to_string(r.t)},
                    {"sector_layout", r.mutate ? std::string(layoutText(r.layout)) : ""}};
    expected.insert(made.record.begin(), made.record.end());
    if (!r.goPast) expected["read_error"] = p.readError;
    if (p.extraKnown) {
      expected["extra_file"] = r.s() > r.t ? extraOf(1) : "";
      if (r.s() > r.t) expected["extra_file_size"] = std::to_string(want.extra.size());
      if (!want.extra.empty()) expected["extra_file_sha256"] = sha256Of(want.extra);
      // A mutate run hashes the raw source stream as well: every byte read.
      const Bytes raw(made.data.begin(), made.data.begin() + static_cast<long>(p.rawRead));
      if (r.mutate && !r.goPast) expected["source_sha256"] = sha256Of(raw);
    }
    if (r.goPast) {
      std::uint64_t areas = 0;
      for (const MapBlock& b : p.rescued->blocks()) areas += b.status == MapStatus::Failed;
      expected["bad_areas"] = std::to_string(areas);
      expected["unread_bytes"] = std::to_string(p.unread);
      expected["bytes_read"] = std::to_string(r.bytes - p.unread);
    }
    if (r.write == Write::FailedCut) expected.erase("read_error");
    if (r.verify) {
      expected["verify_result"] = r.write == Write::AlteredBeforeVerify    ? "Verify failed"
                                  : p.status.starts_with("Done. Verified") ? "Verified"
                                                                           : "";
    }
    EXPECT_EQ(fieldsOf(log, expected), expected);
    if (r.piReport) {
      EXPECT_EQ(field(log, "pi_bad"), r.piReport->bad);
      EXPECT_EQ(test::fields(log, "pi_ref_tag_bad_lba"), r.piReport->badLbas);
      EXPECT_EQ(!field(log, "first_block").empty(), r.piReport->firstBlockUnrecognised);
      EXPECT_EQ(field(log, "pi_ref_tag"), r.piReport->refTag);
    }
    if (r.verify && !expected["verify_result"].empty()) {
      // What was read back is recorded beside what was copied: the image,
      // and the source again (its raw stream, for a mutate job).
      const std::string copied = field(log, "image_sha256");
      EXPECT_EQ(field(log, "verify_image_sha256") == copied, r.write != Write::AlteredBeforeVerify) << log;
      if (r.write != Write::AlteredBeforeVerify) {
        EXPECT_EQ(field(log, "verify_source_sha256"), field(log, r.mutate ? "source_sha256" : "image_sha256"));
      }
    }
    // Digests and map, checked with the coreutils tools and ddrescuelog as an operator would.
    const std::string name = image.filename().string();
    auto in = [&](const std::string& cmd) { return shell("cd " + shellQuote(image.parent_path()) + " && " + cmd); };
    for (const HashAlgo a : kAllHashAlgos) {
      const std::string algo(hashAlgoName(a));
      // Verifying needs a digest: the run makes one even when no hash is chosen.
      EXPECT_EQ(fs::exists(image.string() + "." + algo), r.hashes.contains(a)) << algo;
      // (An image changed on disk, or longer than what was copied, is no longer what they hash.)
      const bool changed = r.write == Write::AlteredBeforeVerify || r.write == Write::FailedCut;
      if (!r.hashes.contains(a) || changed || !haveTool(algo + "sum")) continue;
      const auto sum = in(algo + "sum -c --strict " + name + "." + algo);
      EXPECT_EQ(sum.exitCode, 0) << sum.output;
    }
    if (p.map) { EXPECT_EQ(fs::exists(image.string() + ".map"), *p.map); }
    if (p.rescued) { EXPECT_EQ(blocksOf(fileText(image.string() + ".map")), p.rescued->blocks()); }
    if (p.map.value_or(false) && haveTool("ddrescuelog")) {
      const auto t = in("ddrescuelog -t " + name + ".map");
      EXPECT_EQ(t.exitCode, 0) << t.output;
      if (!p.readError.empty()) {
        // The failed blocks of the map, one byte each: the first is the
        // start of the sector holding the first unreadable byte.
        const auto list = in("ddrescuelog -l- -b1 " + name + ".map");
        const std::uint64_t s = static_cast<std::uint64_t>(r.s());
        EXPECT_EQ(list.output.substr(0, list.output.find('\n')), std::to_string(std::stoull(p.readError) / s * s))
            << list.output;
      }
    }
    // The README's rebuild script, run as an operator would, gives the source back.
    const std::string script = r.mutate && r.s() != r.t && !p.imageSize ? readmeScript(dir) : "";
    if (script.empty()) return;
    const char* word = r.layout == SectorLayout::DataFirst  ? "first"
                       : r.layout == SectorLayout::DataLast ? "last"
                                                            : "groups";
    const std::string extra = fs::exists(extraOf(1)) ? extraOf(1) : "/dev/null";
    const std::string cmd = "python3 " + shellQuote(script) + " " + word + " " + std::to_string(r.s()) + " " +
                            std::to_string(r.t) + " " + shellQuote(output(1)) + " " + shellQuote(extra) + " " +
                            shellQuote((dir / "raw").string());
    const auto run = shell(cmd);
    ASSERT_EQ(run.exitCode, 0) << cmd << "\n" << run.output;
    const Bytes raw = readFile(dir / "raw");
    EXPECT_TRUE(raw == p.copied) << "rebuild.py: " << firstDifference(raw, p.copied);
  }
};

}  // namespace mdi::test
