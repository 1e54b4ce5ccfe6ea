#pragma once

#include <QString>

#include <cstdint>
#include <optional>

struct AppContext;
class EditorHost;
class QsciScintilla;

// The control's search: the first occurrence of text, ignoring the case of letters
// and matching anywhere, also inside words. With a start position (in characters
// from 0) it searches from there to the end of the text; without one it searches
// the selection when text is selected, otherwise the whole text. A found occurrence
// becomes the selection and its character position is returned; otherwise -1, and
// the selection stays. A start beyond the end of the text finds nothing.
int FindInControl(QsciScintilla &rtfText,
                  const QString &text,
                  std::optional<std::int32_t> start = std::nullopt);

// Number of characters of a text, counted as the control counts positions.
std::int32_t characterCount(const QString &text);

// The Edit menu's commands and the search state they share across all document
// windows: the text last confirmed in the Find dialog and where Find Next starts.
class EditCommands
{
public:
    EditCommands(AppContext &ctx, EditorHost &host);

    void mnuEditUndo_Click();
    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuEditFind_Click();
    void mnuEditFindNext_Click();

    QString SearchText() const { return m_searchText; }
    std::int32_t SearchStart() const { return m_searchStart; }

private:
    void reportNotFound();

    AppContext &m_ctx;
    EditorHost &m_host;
    QString m_searchText;
    std::int32_t m_searchStart = 0;
};
