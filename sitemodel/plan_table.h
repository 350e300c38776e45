#pragma once
// Between the site table and a site plan: the plan the table's planned
// values make (what a check sends and what a plan file holds), the planned
// values a plan file gives, and one planned value judged as it is typed.
#include <QString>
#include <map>
#include <optional>
#include <vector>

#include "site/site_plan.h"
#include "sitemodel/phrase_words.h"
#include "sitemodel/site_row.h"

namespace zelmar::sitemodel {

// The plan of the rows that have planned values, numbered as a plan file's
// rows (the header is row 1) in table order; `serialOfRow` tells which row
// number is which controller. A row's planned host name or domain gives the
// whole DNS name (the other part as it is); a found controller's row carries
// its Ethernet address, so that a stale plan is caught.
site::SitePlan planOf(const std::vector<SiteRow>& rows, std::map<int, std::string>* serialOfRow = nullptr);
// The plan file's text of those rows, written as `format` says.
std::string planFileText(const std::vector<SiteRow>& rows, site::PlanFormat format = {});

// The planned values of one plan row, by field; a DNS name is split into host
// name and domain, a Boolean spelt "true" or "false".
std::array<QString, kPlanFieldCount> plannedValuesOf(const site::PlanRow& row);

// The plan rows a check names ("planned for rows 2, 3") named by their
// controllers' serial numbers instead: the window's plan has no rows a
// technician could count.
RowNamer rowNamerOf(const std::map<int, std::string>& serialOfRow);

// The field a check's problem belongs to, from the plan column it names;
// nothing for the row as a whole (serial number, Ethernet address, none).
std::optional<PlanField> fieldOfColumn(const std::string& column);

// A value typed into a planned cell, as it is kept ("true"/"false" for DHCP,
// blanks around an address dropped), or nothing with `problem` saying what is
// wrong by the controllers' rules. The host name and domain are judged joined
// with the row's other part. An empty value is fine: it clears the cell.
std::optional<QString> acceptPlanned(const SiteRow& row, PlanField field, const QString& typed, QString& problem);

}  // namespace zelmar::sitemodel
