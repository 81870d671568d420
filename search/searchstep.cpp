#include "search/searchstep.h"

#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "search/searchmatch.h"

namespace search {

void ListSearch::run(const Conditions &conditions)
{
    const Matcher matcher(conditions);
    m_list.setSelectionFlags(matcher.matchAll(m_list.model()->rows()));
}

} // namespace search
