#include "ConsoleView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

// Appends arriving faster than this are shown together: one repaint a frame.
constexpr int FrameMs = 16;
// Room left of the first column, so that a selection at column 0 shows.
constexpr int LeftMargin = 3;

QColor FromColourRef(uint32_t colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

uint32_t ToColourRef(const QColor& colour)
{
    return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
           static_cast<uint32_t>(colour.blue()) << 16;
}

} // namespace

ConsoleView::ConsoleView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    frameTimer.setSingleShot(true);
    frameTimer.setInterval(FrameMs);
    connect(&frameTimer, &QTimer::timeout, this, &ConsoleView::ShowAppended);
    MeasureFont();
    UpdateScrollBars();
}

void ConsoleView::Append(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour)
{
    if (count == 0)
        return;
    history.Append(bytes, count, coloured, colour);
    appendPending = true;
    if (!frameTimer.isActive())
        frameTimer.start();
}

void ConsoleView::ClearHistory()
{
    history.Clear();
    anchor = caret = Position{};
    appendPending = false;
    frameTimer.stop();
    UpdateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void ConsoleView::ShowAppended()
{
    if (!appendPending)
        return;
    UpdateScrollBars();
    viewport()->update();
    // The newest line is brought into view, except while the operator drags
    // out a selection: the view goes where the mouse takes it, and catches up
    // when the button is let go.
    if (dragging)
        return;
    appendPending = false;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

size_t ConsoleView::FirstVisibleRow()
{
    ShowAppended();
    return static_cast<size_t>(verticalScrollBar()->value());
}

size_t ConsoleView::VisibleRows() const
{
    return static_cast<size_t>(std::max(1, viewport()->height() / lineHeight));
}

void ConsoleView::MeasureFont()
{
    QFontMetricsF metrics(font());
    charWidth = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('0')));
    lineHeight = std::max(1, QFontMetrics(font()).lineSpacing());
}

void ConsoleView::UpdateScrollBars()
{
    size_t rows = history.RowCount();
    size_t visible = VisibleRows();
    int maximum = rows > visible ? static_cast<int>(std::min<size_t>(rows - visible, INT32_MAX)) : 0;
    verticalScrollBar()->setRange(0, maximum);
    verticalScrollBar()->setPageStep(static_cast<int>(visible));
    verticalScrollBar()->setSingleStep(1);

    qreal width = LeftMargin + (history.WidestRow() + 1) * charWidth;
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(width)) - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(static_cast<int>(std::ceil(charWidth)));
}

qreal ConsoleView::ColumnX(size_t column) const
{
    return LeftMargin - horizontalScrollBar()->value() + static_cast<qreal>(column) * charWidth;
}

QColor ConsoleView::ColourOf(const ConsoleHistory::Run& run) const
{
    if (run.kind == ConsoleRendering::RunKind::Label)
        return FromColourRef(ConsoleRendering::LabelColour);
    uint32_t text = run.coloured ? run.colour : ToColourRef(palette().color(QPalette::Text));
    if (run.kind == ConsoleRendering::RunKind::Text)
        return FromColourRef(text);
    return FromColourRef(ConsoleRendering::TagColour(text, ToColourRef(palette().color(QPalette::Base))));
}

std::vector<ConsoleView::ShownRun> ConsoleView::ShownRow(size_t row) const
{
    std::vector<ShownRun> shown;
    for (const auto& run : history.RowRuns(row))
        shown.push_back({QString::fromLatin1(run.text.data(), static_cast<qsizetype>(run.text.size())), ColourOf(run)});
    return shown;
}

void ConsoleView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    painter.setFont(font());

    const size_t first = static_cast<size_t>(verticalScrollBar()->value());
    const size_t last = std::min(history.RowCount(), first + VisibleRows() + 1);
    const int ascent = QFontMetrics(font()).ascent();
    // Only the columns in sight are drawn, so that a long row costs no more than a short one.
    const qreal scrolled = horizontalScrollBar()->value();
    const size_t firstColumn = static_cast<size_t>(std::max<qreal>(0, (scrolled - LeftMargin) / charWidth));
    const size_t lastColumn = firstColumn + static_cast<size_t>(viewport()->width() / charWidth) + 2;
    const Position from = std::min(anchor, caret);
    const Position to = std::max(anchor, caret);
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor highlightedText = palette().color(QPalette::HighlightedText);

    for (size_t row = first; row < last; ++row) {
        const int top = static_cast<int>(row - first) * lineHeight;
        const int baseline = top + ascent;
        // Columns selected in this row; the line break counts as one column past the end.
        size_t selectedFrom = 0;
        size_t selectedTo = 0;
        if (from != to && row >= from.row && row <= to.row) {
            selectedFrom = row == from.row ? from.column : 0;
            selectedTo = row == to.row ? to.column : history.RowWidth(row) + 1;
            if (selectedTo > selectedFrom)
                painter.fillRect(QRectF(ColumnX(selectedFrom), top, (selectedTo - selectedFrom) * charWidth, lineHeight),
                                 highlight);
        }
        size_t column = 0;
        for (const auto& run : history.RowRuns(row)) {
            const size_t runEnd = column + run.text.size();
            const QColor colour = ColourOf(run);
            // Up to three pieces: before, inside and after the selection.
            const size_t cuts[] = {column, std::clamp(selectedFrom, column, runEnd), std::clamp(selectedTo, column, runEnd),
                                   runEnd};
            for (int piece = 0; piece < 3; ++piece) {
                size_t begin = std::max(cuts[piece], firstColumn);
                size_t end = std::min(cuts[piece + 1], lastColumn);
                if (begin >= end)
                    continue;
                painter.setPen(piece == 1 ? highlightedText : colour);
                painter.drawText(QPointF(ColumnX(begin), baseline),
                                 QString::fromLatin1(run.text.data() + (begin - column), static_cast<qsizetype>(end - begin)));
            }
            column = runEnd;
            if (column >= lastColumn)
                break;
        }
    }
}

void ConsoleView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    UpdateScrollBars();
    if (atEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ConsoleView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        MeasureFont();
        UpdateScrollBars();
    }
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        viewport()->update();
}

void ConsoleView::scrollContentsBy(int, int)
{
    viewport()->update();
}

ConsoleView::Position ConsoleView::Clamped(Position position) const
{
    position.row = std::min(position.row, history.RowCount() - 1);
    position.column = std::min(position.column, history.RowWidth(position.row));
    return position;
}

ConsoleView::Position ConsoleView::PositionAt(QPoint point) const
{
    long long row = static_cast<long long>(verticalScrollBar()->value()) +
                    (point.y() < 0 ? -1 : point.y() / lineHeight);
    qreal column = std::round((point.x() - ColumnX(0)) / charWidth);
    return Clamped({static_cast<size_t>(std::max(0LL, row)), static_cast<size_t>(std::max<qreal>(0, column))});
}

void ConsoleView::Select(Position from, Position to)
{
    anchor = Clamped(from);
    caret = Clamped(to);
    viewport()->update();
}

void ConsoleView::SelectAll()
{
    Select({0, 0}, history.End());
}

QString ConsoleView::SelectedText() const
{
    std::string text = history.Text(anchor, caret);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void ConsoleView::CopySelection() const
{
    if (HasSelection())
        QApplication::clipboard()->setText(SelectedText());
}

void ConsoleView::MoveCaret(Position to, bool extend)
{
    caret = Clamped(to);
    if (!extend)
        anchor = caret;
    BringIntoView(caret);
    viewport()->update();
}

void ConsoleView::BringIntoView(Position position)
{
    QScrollBar* vertical = verticalScrollBar();
    size_t first = static_cast<size_t>(vertical->value());
    if (position.row < first)
        vertical->setValue(static_cast<int>(position.row));
    else if (position.row >= first + VisibleRows())
        vertical->setValue(static_cast<int>(position.row + 1 - VisibleRows()));
    qreal x = ColumnX(position.column);
    QScrollBar* horizontal = horizontalScrollBar();
    if (x < LeftMargin)
        horizontal->setValue(horizontal->value() + static_cast<int>(std::floor(x - LeftMargin)));
    else if (x + charWidth > viewport()->width())
        horizontal->setValue(horizontal->value() + static_cast<int>(std::ceil(x + charWidth - viewport()->width())));
}

void ConsoleView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    // The click means what is on the screen now, so the view does not catch
    // up with pending appends first.
    dragging = true;
    Position at = PositionAt(event->position().toPoint());
    caret = at;
    if (!(event->modifiers() & Qt::ShiftModifier))
        anchor = at;
    viewport()->update();
}

void ConsoleView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging)
        return;
    caret = PositionAt(event->position().toPoint());
    BringIntoView(caret); // dragging past an edge scrolls
    viewport()->update();
}

void ConsoleView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && dragging) {
        dragging = false;
        ShowAppended();
    }
}

void ConsoleView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    Position at = PositionAt(event->position().toPoint());
    Select({at.row, 0}, {at.row, history.RowWidth(at.row)});
}

void ConsoleView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    ShowAppended();
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const size_t page = VisibleRows();
    Position to = caret;
    switch (event->key()) {
    case Qt::Key_Left:
        if (to.column > 0)
            --to.column;
        else if (to.row > 0)
            to = {to.row - 1, history.RowWidth(to.row - 1)};
        break;
    case Qt::Key_Right:
        if (to.column < history.RowWidth(to.row))
            ++to.column;
        else if (to.row + 1 < history.RowCount())
            to = {to.row + 1, 0};
        break;
    case Qt::Key_Up: to.row = to.row > 0 ? to.row - 1 : 0; break;
    case Qt::Key_Down: ++to.row; break;
    case Qt::Key_PageUp: to.row = to.row > page ? to.row - page : 0; break;
    case Qt::Key_PageDown: to.row += page; break;
    case Qt::Key_Home: to = control ? Position{} : Position{to.row, 0}; break;
    case Qt::Key_End: to = control ? history.End() : Position{to.row, history.RowWidth(to.row)}; break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    MoveCaret(to, extend);
}
