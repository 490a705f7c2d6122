#pragma once
// The ten-entry phone book: the grid MSHFlexGrid2 and the write-through editing through the
// phone-number box Text5(0) and the description box Text5(1). Whatever box changes writes into
// the row that is current at that moment.

#include <QString>

#include "flex_grid.h"

namespace tavrel {

// The two edit boxes as the phone book sees them: it sets their text without that change
// coming back to it as an edit.
class PhoneBookEditors {
  public:
    virtual ~PhoneBookEditors() = default;
    virtual void showPhone(const QString& text) = 0;
    virtual void showDescription(const QString& text) = 0;
};

class PhoneBook {
  public:
    static constexpr int kEntries = 10;

    PhoneBook();

    FlexGrid& grid() { return grid_; }
    const FlexGrid& grid() const { return grid_; }
    void setEditors(PhoneBookEditors* editors) { editors_ = editors; }

    QString phoneText() const { return phone_; }
    QString descriptionText() const { return description_; }

    // Header texts and column widths of the grid.
    void setupGrid();
    // The user moved the grid's current cell.
    void selectionChanged(int row, int col);
    // The user (or program code) changed Text5(0) / Text5(1).
    void phoneEdited(const QString& text);
    void descriptionEdited(const QString& text);
    // Row 1 into the boxes, current cell row 1, column 2: how every start leaves the phone book.
    void showFirstEntry();

  private:
    void copyRowToEditors(int row);

    FlexGrid grid_;
    PhoneBookEditors* editors_ = nullptr;
    QString phone_ = QStringLiteral("Phone #");
    QString description_ = QStringLiteral("Description");
};

}  // namespace tavrel
