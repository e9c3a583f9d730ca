// The question Tables > Rate table > Add asks once the rows are in: is the
// table a grid (age classes as rows, calendar periods as columns, as the
// person-years tables) or long (one row per sex x age x year, as statistics
// offices publish rates), and for a long table which columns hold the age,
// the year, the sex (optional), the cause (optional) and the rate. Its
// controls read into the db::RateLayout that veldrix-cli fills from
// --layout long --age --year --sex --cause --rate-column.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "db/rate_layouts.h"

class QComboBox;
class QRadioButton;

namespace vdx {

class FrmRateLayout : public QDialog {
    Q_OBJECT
public:
    FrmRateLayout(QWidget* parent, const std::string& table, const std::vector<std::string>& columns, double unit);
    // After Ok: nullopt for a grid, else the long table's columns.
    std::optional<db::RateLayout> layout() const;

private:
    void layoutChanged();

    double unit_;
    QRadioButton *optGrid_, *optLong_;
    QComboBox *comAge_, *comYear_, *comSex_, *comCause_, *comRate_;
};

}  // namespace vdx
