// The monitor view: a line index over the window's text, wrapped layouts made
// only for the lines on screen (the last few kept), a scroll range counted in
// screen lines (estimated for lines never laid out), and a selection.
#include "app/MonitorView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr int kMargin = 4;
// Laid-out pieces kept, about two screenfuls.
constexpr std::size_t kCachedLayouts = 64;
// A line is laid out in pieces of about this many bytes: a document is one
// line of hundreds of kilobytes, of which only the end is on screen.
constexpr std::size_t kPieceBytes = 2048;
constexpr std::size_t kPieceSlack = 256;

// UTF-16 units of UTF-8 text: one per character, two beyond the BMP.
qsizetype utf16Length(const char* p, std::size_t n) {
    qsizetype units = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

}  // namespace

MonitorView::MonitorView(const std::string& text, QWidget* parent)
    : QAbstractScrollArea(parent), m_text(text) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    m_lines.push_back(Line{});
    textAppended();
}

void MonitorView::textAppended() {
    const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    const std::size_t n = m_text.size();
    if (m_indexed == n) return;
    // The last piece may grow: forget what was known of it.
    m_lines.back().visualLines = -1;
    m_layouts.remove_if(
        [&](const CachedLayout& c) { return c.line + 1 >= static_cast<qsizetype>(m_lines.size()); });

    auto close = [&](std::size_t end, bool breaks, std::size_t next) {
        Line& l = m_lines.back();
        l.length = end - l.start;
        l.endsLine = breaks;
        l.estimate = estimateOf(l.length);
        m_lines.push_back(Line{next, 0, -1, 1, false});
    };
    const char* text = m_text.data();
    std::size_t i = m_indexed;
    if (m_pendingCr && text[i] == '\n') m_lines.back().start = ++i;  // the LF of a CR LF
    m_pendingCr = false;
    while (i < n) {
        // Short of kPieceBytes into a piece only a line break ends it: look
        // for one with memchr instead of byte by byte (a run adds megabytes).
        const std::size_t plain = std::min(n, m_lines.back().start + kPieceBytes);
        if (i < plain) {
            const char* lf = static_cast<const char*>(std::memchr(text + i, '\n', plain - i));
            const std::size_t end = lf ? static_cast<std::size_t>(lf - text) : plain;
            const char* cr = static_cast<const char*>(std::memchr(text + i, '\r', end - i));
            const std::size_t at = cr ? static_cast<std::size_t>(cr - text) : end;
            if (at == plain) {
                i = plain;
                continue;
            }
            i = at;
        }
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            std::size_t next = i + 1;
            if (c == '\r') {
                if (next == n) m_pendingCr = true;
                else if (text[next] == '\n') ++next;
            }
            close(i, true, next);
            i = next;
            continue;
        }
        // A long line is laid out in pieces, cut after a blank (where it
        // would wrap anyway) or, lacking one, at a character boundary.
        const std::size_t length = i - m_lines.back().start;
        const bool boundary = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (length >= kPieceBytes && boundary &&
            (text[i - 1] == ' ' || length >= kPieceBytes + kPieceSlack))
            close(i, false, i);
        ++i;
    }
    Line& last = m_lines.back();
    last.length = n - std::min(n, last.start);
    last.estimate = estimateOf(last.length);
    m_indexed = n;
    updateScrollRange(atEnd);
    viewport()->update();
}

int MonitorView::estimateOf(std::size_t bytes) const {
    return std::max<int>(1, static_cast<int>((bytes + m_charsPerLine - 1) / m_charsPerLine));
}

void MonitorView::moveCaretToEnd() {
    const qsizetype last = static_cast<qsizetype>(m_lines.size()) - 1;
    m_caret = m_anchor = Spot{last, utf16Length(m_text.data() + m_lines[last].start,
                                                m_lines[last].length)};
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

qsizetype MonitorView::offsetOf(const Spot& spot) const {
    qsizetype offset = 0;
    for (qsizetype l = 0; l < spot.line; ++l)
        offset += utf16Length(m_text.data() + m_lines[l].start, m_lines[l].length) +
                  (m_lines[l].endsLine ? 1 : 0);
    return offset + spot.column;
}

qsizetype MonitorView::caretPosition() const { return offsetOf(m_caret); }

qsizetype MonitorView::characterCount() const {
    const qsizetype last = static_cast<qsizetype>(m_lines.size()) - 1;
    return offsetOf(Spot{last, utf16Length(m_text.data() + m_lines[last].start,
                                           m_lines[last].length)});
}

QString MonitorView::lineText(qsizetype line) const {
    const Line& l = m_lines[line];
    return QString::fromUtf8(m_text.data() + l.start, static_cast<qsizetype>(l.length));
}

QString MonitorView::toPlainText() const {
    QString out;
    for (qsizetype l = 0; l < static_cast<qsizetype>(m_lines.size()); ++l) {
        out += lineText(l);
        if (m_lines[l].endsLine) out += QChar('\n');
    }
    return out;
}

QString MonitorView::selectedText() const {
    const Spot from = std::min(m_anchor, m_caret);
    const Spot to = std::max(m_anchor, m_caret);
    QString out;
    for (qsizetype l = from.line; l <= to.line; ++l) {
        const QString text = lineText(l);
        const qsizetype begin = l == from.line ? from.column : 0;
        const qsizetype end = l == to.line ? to.column : text.size();
        out += text.mid(begin, end - begin);
        if (l != to.line && m_lines[l].endsLine) out += QChar('\n');
    }
    return out;
}

void MonitorView::selectAll() {
    m_anchor = Spot{};
    moveCaretToEnd();
    m_anchor = Spot{};
}

void MonitorView::copy() const {
    if (!(m_anchor == m_caret)) QApplication::clipboard()->setText(selectedText());
}

int MonitorView::lineHeight() const { return fontMetrics().lineSpacing(); }

int MonitorView::wrapWidth() const { return std::max(16, viewport()->width() - 2 * kMargin); }

QTextLayout& MonitorView::layoutOf(qsizetype line) {
    for (auto it = m_layouts.begin(); it != m_layouts.end(); ++it) {
        if (it->line != line) continue;
        m_layouts.splice(m_layouts.begin(), m_layouts, it);
        return *m_layouts.front().layout;
    }
    auto layout = std::make_unique<QTextLayout>(lineText(line), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const int width = wrapWidth();
    const int height = lineHeight();
    layout->beginLayout();
    for (int row = 0;; ++row) {
        QTextLine tl = layout->createLine();
        if (!tl.isValid()) break;
        tl.setLineWidth(width);
        tl.setPosition(QPointF(0, row * height));
    }
    layout->endLayout();
    m_lines[line].visualLines = std::max(1, layout->lineCount());
    m_layouts.push_front(CachedLayout{line, std::move(layout)});
    if (m_layouts.size() > kCachedLayouts) m_layouts.pop_back();
    return *m_layouts.front().layout;
}

int MonitorView::visualLinesOf(qsizetype line) {
    const Line& l = m_lines[line];
    return l.visualLines >= 0 ? l.visualLines : l.estimate;
}

int MonitorView::totalVisualLines() const {
    int total = 0;
    for (const Line& l : m_lines) total += l.visualLines >= 0 ? l.visualLines : l.estimate;
    return total;
}

void MonitorView::updateScrollRange(bool keepAtEnd) {
    const int rows = std::max(1, viewport()->height() / std::max(1, lineHeight()));
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(rows);
    bar->setSingleStep(1);
    bar->setRange(0, std::max(0, totalVisualLines() - rows));
    if (keepAtEnd) bar->setValue(bar->maximum());
}

void MonitorView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    const int average = std::max(1, fontMetrics().averageCharWidth());
    m_charsPerLine = std::max(1, wrapWidth() / average);
    m_layouts.clear();
    for (Line& l : m_lines) {
        l.visualLines = -1;
        l.estimate = estimateOf(l.length);
    }
    updateScrollRange(atEnd);
}

void MonitorView::scrollContentsBy(int, int) { viewport()->update(); }

void MonitorView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const int height = viewport()->height();
    const int rowHeight = lineHeight();
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const qsizetype count = static_cast<qsizetype>(m_lines.size());

    // The lines to paint with the top of each layout in the viewport.
    std::vector<std::pair<qsizetype, int>> placed;
    if (atEnd) {
        // Newest text at the bottom, laid out exactly whatever the estimates.
        int bottom = height;
        for (qsizetype line = count - 1; line >= 0 && bottom > 0; --line) {
            const int rows = layoutOf(line).lineCount();
            bottom -= std::max(1, rows) * rowHeight;
            placed.emplace_back(line, bottom);
        }
        std::reverse(placed.begin(), placed.end());
        // Fewer lines than the box holds: they start at the top.
        if (!placed.empty() && placed.front().second > 0 && placed.front().first == 0) {
            const int shift = placed.front().second;
            for (auto& p : placed) p.second -= shift;
        }
    } else {
        int skipped = 0;
        qsizetype line = 0;
        const int top = bar->value();
        while (line < count && skipped + visualLinesOf(line) <= top) skipped += visualLinesOf(line++);
        int y = -(top - skipped) * rowHeight;
        for (; line < count && y < height; ++line) {
            const int rows = layoutOf(line).lineCount();
            placed.emplace_back(line, y);
            y += std::max(1, rows) * rowHeight;
        }
    }

    const Spot from = std::min(m_anchor, m_caret);
    const Spot to = std::max(m_anchor, m_caret);
    const bool hasSelection = !(from == to);
    for (const auto& [line, top] : placed) {
        QTextLayout& layout = layoutOf(line);
        QList<QTextLayout::FormatRange> selections;
        if (hasSelection && from.line <= line && line <= to.line) {
            QTextLayout::FormatRange range;
            range.start = line == from.line ? static_cast<int>(from.column) : 0;
            const int end = line == to.line ? static_cast<int>(to.column) : layout.text().size();
            range.length = end - range.start;
            range.format.setBackground(palette().brush(QPalette::Highlight));
            range.format.setForeground(palette().brush(QPalette::HighlightedText));
            selections << range;
        }
        const QRectF clip(0, 0, viewport()->width(), height);  // in painter coordinates
        layout.draw(&painter, QPointF(kMargin, top), selections, clip);
    }
    m_painted.clear();
    for (const auto& [line, top] : placed) m_painted.push_back({line, top});
    // What the layouts told of their heights goes into the scroll range.
    if (totalVisualLines() - bar->pageStep() != bar->maximum()) updateScrollRange(atEnd);
}

MonitorView::Spot MonitorView::spotAt(const QPoint& point) {
    if (m_painted.empty()) return Spot{};
    const PaintedLine* hit = &m_painted.front();
    for (const PaintedLine& p : m_painted)
        if (point.y() >= p.top) hit = &p;
    QTextLayout& layout = layoutOf(hit->line);
    const int row = std::clamp((point.y() - hit->top) / std::max(1, lineHeight()), 0,
                               std::max(0, layout.lineCount() - 1));
    if (point.y() < m_painted.front().top) return Spot{m_painted.front().line, 0};
    QTextLine tl = layout.lineAt(row);
    const int column = tl.isValid() ? tl.xToCursor(point.x() - kMargin) : 0;
    return Spot{hit->line, column};
}

void MonitorView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    m_caret = spotAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier)) m_anchor = m_caret;
    viewport()->update();
}

void MonitorView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    m_caret = spotAt(event->position().toPoint());
    viewport()->update();
}

void MonitorView::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        bar->setValue(0);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        moveCaretToEnd();
    } else if (event->matches(QKeySequence::MoveToNextPage)) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else if (event->matches(QKeySequence::MoveToPreviousPage)) {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    } else if (event->key() == Qt::Key_Down) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else if (event->key() == Qt::Key_Up) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else {
        return QAbstractScrollArea::keyPressEvent(event);
    }
}

void MonitorView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(QStringLiteral("&Copia"), this, [this] { copy(); });
    copyAction->setEnabled(!(m_anchor == m_caret));
    menu.addAction(QStringLiteral("&Seleziona tutto"), this, [this] { selectAll(); });
    menu.exec(event->globalPos());
}

}  // namespace velmora
