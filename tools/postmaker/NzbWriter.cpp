#include "NzbWriter.h"

#include "xmlEscape.h"

#include <fstream>
#include <stdexcept>

void writeNzb(const std::string& path, const std::vector<PostedFile>& files,
              const PostOptions& options) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n"
           "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" "
           "\"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n"
           "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n";
    for (const PostedFile& file : files) {
        out << " <file poster=\"" << xmlEscaped(options.poster) << "\" date=\"" << file.date
            << "\" subject=\"" << xmlEscaped(file.subject) << "\">\n";
        out << "  <groups>\n   <group>" << xmlEscaped(options.group) << "</group>\n  </groups>\n";
        out << "  <segments>\n";
        for (const PostedSegment& segment : file.segments)
            out << "   <segment bytes=\"" << segment.bytes << "\" number=\"" << segment.number
                << "\">" << xmlEscaped(segment.messageId) << "</segment>\n";
        out << "  </segments>\n </file>\n";
    }
    out << "</nzb>\n";
    out.flush();
    if (!out) throw std::runtime_error("cannot write the NZB " + path);
}
