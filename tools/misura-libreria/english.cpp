// The programs' wording of their errors, phrase by phrase, in English. The
// table follows the phrases of platform/library.cpp, platform/fault_report.cpp,
// platform/runtime_error.cpp and platform/supervisor_posix.cpp; what the system
// adds is left as it comes.
#include "tools/misura-libreria/english.h"

#include "platform/error_text.h"

#include <utility>

namespace misura {

namespace {

const std::pair<const char*, const char*> kPhrases[] = {
    {"impossibile trovare la libreria '", "cannot find library '"},
    {"impossibile caricare la libreria '", "cannot load library '"},
    {"impossibile trovare la funzione '", "cannot find function '"},
    {"' nella libreria '", "' in library '"},
    {"' né nei percorsi di sistema", "' nor in the system's search path"},
    {"' né nella cartella di sistema", "' nor in the system folder"},
    {"il simbolo esportato non è una funzione", "the exported symbol is not a function"},
    {"non è un file regolare", "not a regular file"},
    {"non è una libreria di Windows", "not a Windows library"},
    {"è una libreria a 64 bit: i programmi sono a 32 bit", "a 64-bit library: the programs are 32-bit"},
    {"è una libreria a 32 bit: i programmi sono a 64 bit", "a 32-bit library: the programs are 64-bit"},
    {"è una libreria per un altro processore", "a library for another processor"},
    {"richiede '", "it needs '"},
    {"', che Windows non trova né accanto a essa né nella cartella di sistema",
     "', which Windows finds neither beside it nor in the system folder"},
    {"errore di sistema ", "system error "},
    {"motivo sconosciuto", "unknown reason"},
    {"' ha restituito una stringa non valida: ", "' returned an invalid string: "},
    {"' si è interrotta durante il caricamento: ", "' failed while loading: "},
    {"' si è interrotta alla chiusura del programma: ", "' failed as the program ended: "},
    {"' si è interrotta: ", "' failed: "},
    {"il programma si è interrotto fuori da una chiamata alla libreria '",
     "the program failed outside a call into library '"},
    {"' (in un thread della libreria o alla chiusura): ", "' (on a thread of the library or at exit): "},
    {"il programma si è interrotto: ", "the program failed: "},
    {"il programma è terminato durante una chiamata a '", "the program ended during a call to '"},
    {"il programma è terminato durante il caricamento della libreria '", "the program ended while loading library '"},
    {"il programma è terminato fuori da una chiamata alla libreria '", "the program ended outside a call into library '"},
    {"il programma è terminato inaspettatamente: ", "the program ended unexpectedly: "},
    {"stato di uscita ", "exit status "},
    {"la funzione '", "function '"},
    {"' della libreria '", "' of library '"},
    {"la libreria '", "library '"},
    {"ha terminato il processo con stato ", "ended the process with status "},
    {"segnale sconosciuto", "unknown signal"},
    {"segnale ", "signal "},
    {"Overflow: il risultato non sta in un intero a 32 bit", "overflow: the result does not fit in 32 bits"},
    {"Indice non compreso nei limiti della matrice", "subscript out of range"},
    {"Memoria esaurita", "out of memory"},
    {"nessuna libreria di conversione per questa prova", "no conversion library for this run"},
    {"Errore interno sconosciuto", "unknown internal error"},
    {"Errore interno: ", "internal error: "},
    {"impossibile ", "cannot "},
};

} // namespace

std::string inEnglish(const std::string& description)
{
    std::string out;
    for (std::size_t at = 0; at < description.size();) {
        bool replaced = false;
        for (const auto& [italian, english] : kPhrases) {
            const std::string_view phrase(italian);
            if (description.compare(at, phrase.size(), phrase) == 0) {
                out += english;
                at += phrase.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += description[at++];
    }
    return out;
}

std::string errorLine(const std::exception_ptr& e)
{
    const platform::ReportedError error = platform::describe(e);
    return "error " + std::to_string(error.number) + ": " + inEnglish(std::string(error.lead) + error.detail);
}

} // namespace misura
