#include "phone_book.h"

namespace tavrel {

PhoneBook::PhoneBook() : grid_(kEntries + 1, 4) {}

void PhoneBook::setupGrid() {
    grid_.setText(0, 1, QStringLiteral("Item #"));
    grid_.setText(0, 2, QStringLiteral("Phone #"));
    grid_.setText(0, 3, QStringLiteral("Description"));
    grid_.setColWidth(0, 200);
    grid_.setColWidth(1, 500);
    grid_.setColWidth(2, 1500);
    grid_.setColWidth(3, 2800);
}

// Copying a row into the boxes would make both boxes write the same texts back into the same
// cells and leave column 3 current; the boxes are set silently here and the end result (the
// cells unchanged, the current column) is set directly, so a copy never starts another copy.
void PhoneBook::copyRowToEditors(int row) {
    phone_ = grid_.text(row, 2);
    description_ = grid_.text(row, 3);
    if (editors_ != nullptr) {
        editors_->showPhone(phone_);
        editors_->showDescription(description_);
    }
}

void PhoneBook::selectionChanged(int row, int col) {
    if (row < 1 || row > kEntries || col < 1 || col > 3) return;
    grid_.setCurrent(row, col);
    if (col == 2 || col == 3) {
        copyRowToEditors(row);
        grid_.setCurrent(row, col);
    }
}

void PhoneBook::phoneEdited(const QString& text) {
    phone_ = text;
    grid_.setCurrent(grid_.row(), 2);
    grid_.setText(grid_.row(), 2, text);
}

void PhoneBook::descriptionEdited(const QString& text) {
    description_ = text;
    grid_.setCurrent(grid_.row(), 3);
    grid_.setText(grid_.row(), 3, text);
}

void PhoneBook::showFirstEntry() {
    grid_.setCurrent(1, 2);
    copyRowToEditors(1);
    grid_.setCurrent(1, 2);
}

}  // namespace tavrel
