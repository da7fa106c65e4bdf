#pragma once
// The refusals made before a run touches any file: a usable target, jobs
// with valid sources and sizes, sources that are still the media listed,
// and outputs that are files of their own in folders the operator chose.
// Outputs, and the files written beside them, are compared with sources, loop-device backing files and each
// other by file identity, so no hard link, symlink, bind mount or loop
// device lets a run write over its own source.
#include "jobs/FormState.h"
#include "platform/Services.h"

namespace mdi {

class RunChecks {
 public:
  RunChecks(FormState& form, Services& services) : m_form(form), m_sv(services) {}

  // Before the window is locked: a target folder chosen (Set Target is
  // offered when there is none) and jobs to image. False: a message was
  // shown and the run does not start.
  bool targetChosen();
  // Once it is: the target usable, every source valid and still the medium
  // listed, every output a file of its own. False: a message was shown and
  // the run does not start. `mutate` adds the sector checks.
  bool beforeOpening(bool mutate);
  // True (after its message) when a folder the run writes into lies on one
  // of the run's source drives or block devices.
  bool targetIsASource();
  // The free-space question: true when every file system the run writes to
  // has room for what it will write there (images at their converted size,
  // `.extra` files, records), or the operator chose to go on without it.
  bool freeSpaceAccepted(bool mutate);

 private:
  bool refuse(const std::string& text);
  bool targetUsable();  // the folder chosen still exists and takes files
  bool sourcesValid(bool mutate);
  bool outputsApart();
  FormState& m_form;
  Services& m_sv;
};

}  // namespace mdi
