#pragma once

// Helpers for driving the Qt controls the way a user does: clicks on the rows of a list, double
// clicks on folders, keys.

#include <gtest/gtest.h>
#include <string_view>

#include <QListView>
#include <QListWidget>
#include <QTest>

namespace qv::testing {

// The row of `view` whose displayed text is `text`, or an invalid index.
inline QModelIndex row_named(const QAbstractItemView& view, std::string_view text) {
  const QAbstractItemModel& model = *view.model();
  const QString wanted = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  for (int row = 0; row < model.rowCount(); ++row)
    if (model.index(row, 0).data().toString() == wanted) return model.index(row, 0);
  return {};
}

// The centre of the row named `text`, scrolled into view; fails the test when there is none.
inline QPoint row_centre(QAbstractItemView& view, std::string_view text) {
  const QModelIndex index = row_named(view, text);
  EXPECT_TRUE(index.isValid()) << "no row " << text;
  view.scrollTo(index);
  return view.visualRect(index).center();
}

inline void click_row(QAbstractItemView& view, std::string_view text) {
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, row_centre(view, text));
}

inline void double_click_row(QAbstractItemView& view, std::string_view text) {
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, row_centre(view, text));
}

// The texts of the rows of `view`, in order.
inline std::vector<std::string> rows(const QAbstractItemView& view) {
  std::vector<std::string> texts;
  for (int row = 0; row < view.model()->rowCount(); ++row)
    texts.push_back(view.model()->index(row, 0).data().toString().toStdString());
  return texts;
}

}  // namespace qv::testing
