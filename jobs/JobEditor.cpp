#include "jobs/JobEditor.h"

#include "jobs/JobList.h"
#include "jobs/TargetFolder.h"
#include "platform/Aside.h"
#include "support/Val.h"

namespace mdi {

void JobEditor::updateRunButton() { m_sv.ui.setEnabled(Ctl::Command2, m_form.iGrid2.rowCount() > 0); }

void JobEditor::AddDriveToJobList() {
  GridModel& drives = m_form.iGrid1;
  GridModel& jobs = m_form.iGrid2;
  if (m_form.run.TargetFolder.empty()) {
    if (m_sv.msg.show({"Select target folder now?", "No Target", MsgIcon::Question, MsgButtons::YesNo, false}) ==
        MsgAnswer::No)
      return;
    SetTarget(m_form, m_sv);
  }
  const int d = drives.currentRow();
  if (d < 1) return;
  if (drives.backColor(d, 1) == kSystemDriveBack) {
    const std::string q = "Drive [" + drives.value(d, 2) + " - " + drives.value(d, 3) +
                          "] is a system drive are you sure you want to image it?.";
    if (m_sv.msg.show({q, "System Drive", MsgIcon::Question, MsgButtons::YesNo, false}) == MsgAnswer::No) return;
  }
  const int row = jobs.addRow();
  for (int c = 1; c <= 5; ++c) jobs.setValue(row, c, drives.value(d, c));
  jobs.setValue(row, JobCol::FileName, defaultOutputName(row, m_form.run.TargetFolder));
  jobs.setValue(row, JobCol::Status, "");
  jobs.setValue(row, JobCol::SectorIn, m_sv.ui.text(Ctl::Text1));
  jobs.setValue(row, JobCol::SectorOut, m_sv.ui.text(Ctl::Text2));
  jobs.setValue(row, JobCol::BPS, drives.value(d, 6));
  drives.removeRows(d, 1);
  if (jobs.rowCount() > 0) {
    m_sv.ui.setEnabled(Ctl::Command2, true);
    m_sv.ui.setText(Ctl::Label3, "Right click on drive to change target folder.");
  } else {
    m_sv.ui.setEnabled(Ctl::Command2, false);
    m_sv.ui.setText(Ctl::Label3, "");
  }
}

void JobEditor::AddImageFiles() {
  std::string start = m_form.LastImageFolder;
  if (start.empty()) start = m_sv.system.homeFolder();
  if (start.empty()) start = "/";
  const auto files = m_sv.pickers.chooseFiles("Select Image File ...", start);
  // What lies at each path is asked aside (a path on a drive or share that
  // does not answer would hold the window), with the button off meanwhile.
  struct Examined {
    PathKind kind = PathKind::Missing;
    std::optional<std::uint64_t> size;
    std::optional<BlockDeviceInfo> device;
  };
  m_sv.ui.setEnabled(Ctl::Command4, false);
  const auto examined = awaitAside<std::vector<Examined>>(
      m_sv.pump, [] { return false; },
      [fs = &m_sv.fs, files] {
        std::vector<Examined> out;
        for (const auto& f : files) {
          Examined e{fs->kind(f), {}, {}};
          // A disk or a partition read as an image is listed with its real
          // size and sector size, and remembered as it is now so a run can
          // tell that the node still holds the same medium.
          if (e.kind == PathKind::Regular) e.size = fs->fileSize(f);
          if (e.kind == PathKind::BlockDevice) e.device = fs->blockDevice(f);
          out.push_back(std::move(e));
        }
        return out;
      });
  m_sv.ui.setEnabled(Ctl::Command4, true);
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& f = files[i];
    const Examined& e = (*examined)[i];
    std::string size;
    std::string bps;
    switch (e.kind) {
      case PathKind::Regular:
        size = std::to_string(e.size.value_or(0));
        break;
      case PathKind::BlockDevice: {
        const auto& dev = e.device;
        if (!dev) {
          m_sv.msg.show({"The device " + f + " cannot be opened for reading.", "Error", MsgIcon::Exclamation,
                         MsgButtons::Ok, false});
          continue;
        }
        size = std::to_string(dev->identity.sizeBytes);
        bps = std::to_string(dev->logicalSectorSize);
        m_form.ListedDevices[f] = *dev;
        break;
      }
      case PathKind::Missing:
        m_sv.msg.show({"The file " + f + " does not exist.", "Error", MsgIcon::Exclamation, MsgButtons::Ok, false});
        continue;
      default:
        m_sv.msg.show({f + " is not an image file or a block device, so it cannot be imaged.", "Error",
                       MsgIcon::Exclamation, MsgButtons::Ok, false});
        continue;
    }
    const int row = m_form.iGrid1.addRow();
    m_form.iGrid1.setValue(row, 1, kFileId);
    m_form.iGrid1.setValue(row, 2, f);
    m_form.iGrid1.setValue(row, 3, m_formatSize(size));
    m_form.iGrid1.setValue(row, 5, size);
    if (!bps.empty()) m_form.iGrid1.setValue(row, 6, bps);  // the drive grid's BPS
  }
  if (!files.empty()) {
    const auto slash = files.front().find_last_of('/');
    m_form.LastImageFolder = slash == std::string::npos ? std::string() : files.front().substr(0, slash + 1);
  }
}

void JobEditor::JobGridDoubleClick(int row, int col) {
  GridModel& jobs = m_form.iGrid2;
  if (row < 1 || row > jobs.rowCount()) return;
  if (col == JobCol::FileName || col == JobCol::SectorIn || col == JobCol::SectorOut) {
    jobs.setEditAllowed(true);
    jobs.beginEdit(row, col);
    return;
  }
  if (m_sv.msg.show({"Remove " + jobs.value(row, JobCol::Model) + "? Are you sure?", "Remove Entry?", MsgIcon::Question,
                     MsgButtons::YesNo, false}) == MsgAnswer::No)
    return;
  if (const auto src = jobSource(jobs, row); src && !src->isFile) {
    const auto listed = m_sv.drives.listedRecord(src->drive);
    if (listed && m_sv.drives.isAttached(src->drive)) m_listDrive(*listed);
  } else {
    const int d = m_form.iGrid1.addRow();
    for (int c = 1; c <= 5; ++c) m_form.iGrid1.setValue(d, c, jobs.value(row, c));
    m_form.iGrid1.setValue(d, 6, jobs.value(row, JobCol::BPS));  // a block device's sector size
  }
  jobs.removeRows(row, 1);
  m_form.iGrid1.sortByColumn(1);
  updateRunButton();
}

PopupMenu JobEditor::JobGridMouseDown(MouseButton button, int row, int col) {
  if (row < 1) return PopupMenu::None;
  m_form.ClickedRow = row;
  m_form.ClickedCol = col;
  if (button != MouseButton::Right) return PopupMenu::None;
  if (col == JobCol::FileName) {
    // The menu names the right-clicked job and acts on the current row:
    // make them the same job.
    m_form.iGrid2.setCurrentRow(row);
    m_sv.ui.setText(Ctl::mnuSetTarget, "Set target folder for : " + m_form.iGrid2.displayedText(row, JobCol::Model));
    return PopupMenu::mnuNew;
  }
  if (col == JobCol::SectorIn || col == JobCol::SectorOut) {
    m_form.iGrid2.setCurrentRow(row);
    return PopupMenu::mnuSectors;
  }
  return PopupMenu::None;
}

void JobEditor::SetTargetForThisJob() {
  GridModel& jobs = m_form.iGrid2;
  if (jobs.currentRow() < 1) {
    if (jobs.rowCount() == 0) return;
    jobs.setCurrentRow(1);
  }
  const int row = jobs.currentRow();
  const std::string name = jobs.value(row, JobCol::FileName);
  const auto slash = name.find_last_of('/');
  const std::string part = slash == std::string::npos ? name : name.substr(slash + 1);
  SetTarget(m_form, m_sv);
  const std::string& t = m_form.run.TargetFolder;
  if (t.empty()) return;
  jobs.setValue(row, JobCol::FileName, t + (t.back() == '/' ? "" : "/") + part);
}

void JobEditor::ChangeFileName() {
  m_form.iGrid2.setEditAllowed(true);
  m_form.iGrid2.beginEdit(m_form.iGrid2.currentRow(), JobCol::FileName);
}

void JobEditor::JobGridCellEnter(int, int col) {
  static const char* tips[] = {nullptr,
                               "Drive or File ID",
                               "Model no or file name",
                               "Size of media",
                               nullptr,
                               nullptr,
                               "File name (Right click to change location)",
                               "Imaging status",
                               "Source Sector size (Right click to change)",
                               "Target Sector size (Right click to change)",
                               "Default Bytes per Sector Value"};
  if (col >= 1 && col <= 10 && tips[col]) m_form.iGrid2.setTooltip(tips[col]);
}

void JobEditor::copyBoxesIntoRows() {
  for (int row = 1; row <= m_form.iGrid2.rowCount(); ++row) {
    m_form.iGrid2.setValue(row, JobCol::SectorIn, m_sv.ui.text(Ctl::Text1));
    m_form.iGrid2.setValue(row, JobCol::SectorOut, m_sv.ui.text(Ctl::Text2));
  }
}

void JobEditor::Check2Click() {
  const bool on = m_sv.ui.isChecked(Ctl::Check2);
  m_sv.ui.setEnabled(Ctl::Text1, on);
  m_sv.ui.setEnabled(Ctl::Text2, on);
  m_sv.ui.setText(Ctl::Text1, on ? "520" : "512");
  m_sv.ui.setText(Ctl::Text2, "512");
  m_form.iGrid2.setColumnVisible(JobCol::SectorIn, on);
  m_form.iGrid2.setColumnVisible(JobCol::SectorOut, on);
  copyBoxesIntoRows();
  if (m_form.iGrid2.rowCount() > 0 && !m_sv.ui.isChecked(Ctl::Check4)) CheckSectorSizes();
}

void JobEditor::Text2Change() {
  if (Val(m_sv.ui.text(Ctl::Text1)) < Val(m_sv.ui.text(Ctl::Text2))) {
    m_sv.ui.beep();
    m_sv.ui.setFocus(Ctl::Text2);
  }
}

void JobEditor::Text1LostFocus() {
  if (Val(m_sv.ui.text(Ctl::Text1)) < Val(m_sv.ui.text(Ctl::Text2))) {
    m_sv.ui.beep();
    m_sv.ui.setFocus(Ctl::Text1);
  }
  m_sv.ui.setChecked(Ctl::Check4, false);
  copyBoxesIntoRows();
}

void JobEditor::Text2LostFocus() { copyBoxesIntoRows(); }

void JobEditor::SectorMenu(int size) {
  if (m_form.ClickedRow != 0 && m_form.ClickedCol != 0)
    m_form.iGrid2.setValue(m_form.ClickedRow, m_form.ClickedCol, static_cast<std::int64_t>(size));
  if (!m_sv.ui.isChecked(Ctl::Check4)) CheckSectorSizes();
}

void JobEditor::CheckSectorSizes() {
  std::string advice = "It is recommeded to use 'Force Read option to read the";
  std::string list;
  int count = 0;
  const GridModel& jobs = m_form.iGrid2;
  for (int row = 1; row <= jobs.rowCount(); ++row) {
    const std::string bps = jobs.value(row, JobCol::BPS);
    if (bps.empty()) continue;
    if (Val(bps) != Val(jobs.value(row, JobCol::SectorIn))) {
      ++count;
      list += jobs.value(row, JobCol::ID) + " : " + jobs.value(row, JobCol::Model) + " : " + "Reported Size : " + bps +
              ", Input size : " + jobs.value(row, JobCol::SectorIn) + "\n";
    }
  }
  if (list.empty()) return;
  advice += count == 1 ? " drive" : "se drives.";
  m_sv.msg.show(
      {"The following drives physical sector values do not match the input values and will cause problems.\n" + advice +
           "\n\n" + list,
       "Sector Size Error", MsgIcon::Exclamation, MsgButtons::Ok, true});
}

}  // namespace mdi
