#pragma once
// The operator's editing of the job list: moving drives and image files in
// and out, per-job folders and names, the sector-size settings and the job
// grid's tooltips. Plain C++ over the window's FormState and services.
#include <cstdint>
#include <functional>
#include <string>

#include "jobs/FormState.h"
#include "platform/Services.h"

namespace mdi {

enum class MouseButton { Left, Right, Middle };
enum class PopupMenu { None, mnuNew, mnuSectors };

class JobEditor {
 public:
  // Size text of a byte count (the drive grid's "Size" column).
  using SizeFormatter = std::function<std::string(const std::string& bytes)>;
  // Appends a drive's row to the drive grid as the drive list shows it
  // (its marks included).
  using DriveLister = std::function<void(const DriveRecord& drive)>;
  JobEditor(FormState& form, Services& sv, SizeFormatter formatSize, DriveLister listDrive)
      : m_form(form), m_sv(sv), m_formatSize(std::move(formatSize)), m_listDrive(std::move(listDrive)) {}

  // Double-click on the drive grid: the drive grid's current row becomes a job.
  void AddDriveToJobList();
  // "Add Image File(s)".
  void AddImageFiles();
  // Double-click on a job cell: edit columns 6, 8, 9 in place, else remove.
  // A removed drive comes back to the drive grid as it is listed (a drive
  // detached since does not); an image file as it was added.
  void JobGridDoubleClick(int row, int col);
  // An in-place edit ended.
  void EditOff() { m_form.iGrid2.setEditAllowed(false); }
  // A mouse button went down over a job cell; returns the pop-up menu the
  // window should open (the right-clicked row has been made current).
  PopupMenu JobGridMouseDown(MouseButton button, int row, int col);
  void SetTargetForThisJob();  // mnuSetTarget
  void ChangeFileName();       // mnuCFN
  void JobGridCellEnter(int row, int col);

  // Sector settings.
  void Check2Click();
  void Text2Change();
  void Text1LostFocus();
  void Text2LostFocus();
  void SectorMenu(int size);  // mnu512 ... mnu528
  void CheckSectorSizes();

 private:
  void copyBoxesIntoRows();
  void updateRunButton();
  FormState& m_form;
  Services& m_sv;
  SizeFormatter m_formatSize;
  DriveLister m_listDrive;
};

}  // namespace mdi
