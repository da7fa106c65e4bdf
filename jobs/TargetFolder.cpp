#include "jobs/TargetFolder.h"

#include <cstring>

#include "jobs/JobList.h"

namespace mdi {

void SetTarget(FormState& form, Services& sv) {
  form.run.TargetFolder = sv.pickers.chooseFolder("Select Target Folder");
  if (form.run.TargetFolder.empty()) {
    sv.ui.setText(Ctl::Label2, "No target selected");
    return;
  }
  sv.ui.setEnabled(Ctl::Command2, true);
  if (!sv.fs.exists(form.run.TargetFolder)) {
    const int err = sv.fs.createFolder(form.run.TargetFolder);
    if (err != 0) {
      // A folder we cannot create is no target: say so rather than let the
      // run fail later on every job.
      sv.msg.show({"Unable to create the folder " + form.run.TargetFolder + " (" + std::strerror(err) + ").", "Error",
                   MsgIcon::Exclamation, MsgButtons::Ok, false});
      form.run.TargetFolder.clear();
      sv.ui.setText(Ctl::Label2, "No target selected");
      sv.ui.setEnabled(Ctl::Command2, form.iGrid2.rowCount() > 0);
      return;
    }
  }
  sv.ui.setText(Ctl::Label2, form.run.TargetFolder);
  placeUnplacedOutputs(form.iGrid2, form.run.TargetFolder);
}

}  // namespace mdi
