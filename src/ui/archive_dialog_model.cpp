#include "ui/archive_dialog_model.h"

namespace miradel::ui {

ArchiveDialogModel::ArchiveDialogModel() { ClickSelectAll(true); }

ArchiveDialogModel::ArchiveDialogModel(const bool types[kTypeCount]) {
  m_selectAll = true;
  for (int i = 0; i < kTypeCount; ++i) {
    m_types[i] = types[i];
    m_selectAll = m_selectAll && types[i];
  }
}

void ArchiveDialogModel::ClickSelectAll(bool ticked) {
  m_selectAll = ticked;
  for (bool& t : m_types) t = ticked;
}

void ArchiveDialogModel::ClickType(int i, bool ticked) {
  if (i < 0 || i >= kTypeCount) return;
  m_types[i] = ticked;
  if (!m_selectAll) return;
  for (bool t : m_types) {
    if (!t) m_selectAll = false;
  }
}

void ArchiveDialogModel::Types(bool out[kTypeCount]) const {
  for (int i = 0; i < kTypeCount; ++i) out[i] = m_types[i];
}

}  // namespace miradel::ui
