#pragma once
// What the site library tells (site/phrase.h) in the window's language: each
// code through the texts catalogue with its arguments filled in, and a plan's
// rows named by the controllers the table shows in them.
#include <QString>
#include <functional>
#include <string>

#include "site/phrase.h"
#include "site/upgrade_outcome.h"

namespace zelmar::sitemodel {

// The name the window gives a plan row: its controller's serial number; empty: "row N".
using RowNamer = std::function<QString(int row)>;

QString wordsOf(const site::Phrase& phrase, const RowNamer& rowName = {});

// An upgrade's detail: the revisions of a switch ("2.11 -> 3.2.0"), what the
// site library said, and whether only a search after the run found it.
QString detailWords(const site::ControllerUpgrade& upgrade);

// The window's caption of a plan column ("IpAddress": "Planned IP address").
QString columnCaption(const std::string& column);

}  // namespace zelmar::sitemodel
