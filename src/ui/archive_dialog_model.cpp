#include "ui/archive_dialog_model.h"

namespace miradel::ui {

ArchiveDialogModel::ArchiveDialogModel() { ClickSelectAll(true); }

ArchiveDialogModel::ArchiveDialogModel(const bool types[kTypeCount]) {
  select_all_ = true;
  for (int i = 0; i < kTypeCount; ++i) {
    types_[i] = types[i];
    select_all_ = select_all_ && types[i];
  }
}

void ArchiveDialogModel::ClickSelectAll(bool ticked) {
  select_all_ = ticked;
  for (bool& t : types_) t = ticked;
}

void ArchiveDialogModel::ClickType(int i, bool ticked) {
  if (i < 0 || i >= kTypeCount) return;
  types_[i] = ticked;
  if (!select_all_) return;
  for (bool t : types_) {
    if (!t) select_all_ = false;
  }
}

void ArchiveDialogModel::Types(bool out[kTypeCount]) const {
  for (int i = 0; i < kTypeCount; ++i) out[i] = types_[i];
}

}  // namespace miradel::ui
