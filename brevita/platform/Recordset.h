#pragma once
// A query's rows through ODBC, all fetched before the first is read, so the
// count is known up front. Fields are found by name without regard to case.

#include "VoicemailDatabase.h"

#include <optional>
#include <string>
#include <vector>

namespace brevita {

class Recordset : public RowCursor {
  public:
    // rows hold the fields in the order of names.
    Recordset(std::vector<std::string> names,
              std::vector<std::vector<std::optional<std::string>>> rows);

    // As RowCursor says; the column is the one whose name matches.
    int32_t Count() const override { return static_cast<int32_t>(rows_.size()); }
    bool AtEnd() const override { return pos_ >= rows_.size(); }
    void MoveNext() override;
    std::optional<std::string> Field(Column column) const override;

  private:
    std::vector<std::string> names_;
    std::vector<std::vector<std::optional<std::string>>> rows_;
    size_t pos_ = 0;
};

// Runs sql on a connection of its own, within the deadline, and gives its
// rows; raises ErrDatabase with the driver's SQLSTATE and text.
Recordset OpenQuery(const std::string &connection, const std::string &sql);

} // namespace brevita
