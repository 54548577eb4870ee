#pragma once

#include <QColor>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QHBoxLayout;
class QLabel;
class QObject;
class QPushButton;
class QWidget;

namespace tarnwick {

class FilePanel;
class SecurityScopedAccess;

// A label of a symbol and a title (empty states, buttons).
QWidget* makeSystemImageLabel(const QString& title, const QString& symbol, int iconSize = 16,
                              const QColor& tint = {}, QWidget* parent = nullptr);
// The system-styled header bar of a tool sheet: a title, a spacer and `trailing`.
QWidget* systemHeaderBar(const QString& title, QWidget* trailing, QWidget* leadingBelowTitle = nullptr);
// The brand header bar: a section header with a symbol, a spacer and `trailing`.
QWidget* brandHeaderBar(const QString& title, const QString& symbol, QWidget* trailing);
// A row of a sheet's list on a rounded control-coloured card, laid out horizontally (a
// QHBoxLayout) with the given margins and spacing between its items.
QWidget* roundedRow(QWidget* parent, int hMargin, int vMargin, int spacing);
// A result page's footer: "Scan Another Folder..." (calling `scanAgain`) on the left, `trailing`
// on the right.
QHBoxLayout* scanAgainFooter(QWidget* parent, std::function<void()> scanAgain, QList<QWidget*> trailing);
// A one-pixel divider in `color` (invalid: the palette's mid colour).
QWidget* divider(const QColor& color = {});
// A centred "content unavailable" page: a large symbol, a label and a description.
QWidget* contentUnavailable(const QString& symbol, const QString& label, const QString& description);
// The brand "Done" button: bordered, accent tint, small.
QPushButton* brandDoneButton();
// Closes the sheet that holds `content` (its top-level window).
void dismissSheet(QWidget* content);
// Paints `widget` and the lists inside it (window and base colours) in `colour`.
void fillBackground(QWidget* widget, const QColor& colour);

// The folder a scan starts from: an open panel for one folder, granted before `chosen` sees it;
// nothing happens when the user cancels or `context` is gone.
void chooseFolderToScan(FilePanel& panel, SecurityScopedAccess& grants, QWidget* window,
                        const QString& message, const QString& prompt, QObject* context,
                        std::function<void(const QString& folder)> chosen);
// A progress report that any thread may call: each text reaches `show` on the GUI thread, as long
// as `receiver` still exists.
std::function<void(const QString&)> progressOnGuiThread(QObject* receiver,
                                                        std::function<void(const QString&)> show);

} // namespace tarnwick
