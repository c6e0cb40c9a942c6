// A read-only view of one monitor box over the window's exact text: it keeps
// no copy of the text, only where each line starts, and lays out (wraps at
// the box's width) just the lines it paints. Documents are single lines tens
// of kilobytes long; a month's run adds megabytes, so the box must cost
// nothing for what is out of sight. The text can be selected and copied.
#pragma once

#include <QAbstractScrollArea>
#include <QTextLayout>
#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

class MonitorView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // text: the box's exact text, owned by the window and only ever grown.
    MonitorView(const std::string& text, QWidget* parent = nullptr);

    // The text grew at its end: index the new lines and, when the view was
    // showing the end, keep showing it (painted with the next paint event).
    void textAppended();

    // Moves the caret (and the view) to the end of the text.
    void moveCaretToEnd();
    // Caret and selection, in characters of the shown text (line breaks
    // count one, as the box shows CR LF, CR and LF as one break).
    qsizetype caretPosition() const;
    qsizetype characterCount() const;
    // The shown text (line breaks as "\n") and the selected part of it.
    QString toPlainText() const;
    QString selectedText() const;
    void selectAll();
    void copy() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // A piece of a line of the text (a long line is cut into pieces, each
    // laid out on its own).
    struct Line {
        std::size_t start = 0;   // byte offset in the text
        std::size_t length = 0;  // bytes, without the line break
        int visualLines = -1;    // at the current width; -1 until laid out
        int estimate = 1;
        bool endsLine = false;   // a line break follows
    };
    // A point in the shown text: piece and UTF-16 index within it.
    struct Spot {
        qsizetype line = 0;
        qsizetype column = 0;
        bool operator<(const Spot& o) const {
            return line < o.line || (line == o.line && column < o.column);
        }
        bool operator==(const Spot& o) const = default;
    };

    QString lineText(qsizetype line) const;
    QTextLayout& layoutOf(qsizetype line);
    int visualLinesOf(qsizetype line);
    int lineHeight() const;
    int estimateOf(std::size_t bytes) const;
    int wrapWidth() const;
    int totalVisualLines() const;
    void updateScrollRange(bool keepAtEnd);
    Spot spotAt(const QPoint& point);
    qsizetype offsetOf(const Spot& spot) const;

    const std::string& m_text;
    std::size_t m_indexed = 0;   // bytes of the text split into lines so far
    bool m_pendingCr = false;    // the indexed text ends in CR (LF may follow)
    std::vector<Line> m_lines;
    int m_charsPerLine = 80;
    struct CachedLayout {
        qsizetype line;
        std::unique_ptr<QTextLayout> layout;
    };
    std::list<CachedLayout> m_layouts;  // most recently used first
    // Where each painted line's layout sat at the last paint (for the mouse).
    struct PaintedLine {
        qsizetype line;
        int top;
    };
    std::vector<PaintedLine> m_painted;
    Spot m_anchor;
    Spot m_caret;
};

}  // namespace velmora
