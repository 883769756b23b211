// The error messages in Italian, the window's language.
#include "platform/message_tables.h"

namespace platform::messages {

constexpr Table kItalian = {{
    {Message::reportHeading, "Errore di run-time '%1':"},

    {Message::verbatim, "%1"},
    {Message::exitStatus, "stato di uscita %1"},
    {Message::signalNumber, "segnale %1"},
    {Message::exceptionCode, "eccezione 0x%1"},
    {Message::stoppedBySignal, "fermato dal segnale %1"},
    {Message::signalFromProgram, "%1 inviato al supervisore da un processo del programma"},
    {Message::unknownReason, "motivo sconosciuto"},
    {Message::systemErrorCode, "errore di sistema %1"},
    {Message::notAWindowsLibrary, "non è una libreria di Windows (%1)"},
    {Message::otherBitnessLibrary, "è una libreria a %1 bit: i programmi sono a %2 bit (%3)"},
    {Message::otherProcessorLibrary, "è una libreria per un altro processore (%1)"},
    {Message::dependencyNotFound, "richiede '%1', che Windows non trova né accanto a essa né nella cartella di sistema (%2)"},

    {Message::overflow, "Overflow: il risultato non sta in un intero a 32 bit"},
    {Message::outOfMemory, "Memoria esaurita"},
    {Message::subscriptOutOfRange, "Indice non compreso nei limiti della matrice"},
    {Message::internalError, "Errore interno: %1"},
    {Message::unknownInternalError, "Errore interno sconosciuto"},
    {Message::noConversionLibrary, "nessuna libreria di conversione per questa prova"},

    {Message::libraryNotFound, "impossibile trovare la libreria '%1'"},
    {Message::libraryNotFoundInSearchPath, "impossibile trovare la libreria '%1' in '%2' né nei percorsi di sistema: %R"},
    {Message::libraryNotFoundInSystemFolder,
     "impossibile trovare la libreria '%1' in '%2' né nella cartella di sistema: %R"},
    {Message::libraryNotLoadable, "impossibile caricare la libreria '%1': %R"},
    {Message::libraryNotRegularFile, "impossibile caricare la libreria '%1': non è un file regolare"},
    {Message::functionNotFound, "impossibile trovare la funzione '%1' nella libreria '%2': %R"},
    {Message::exportNotAFunction,
     "impossibile trovare la funzione '%1' nella libreria '%2': il simbolo esportato non è una funzione"},
    {Message::descriptorLost, "la libreria ha chiuso un descrittore del programma (il %1, libreria '%2')"},
    {Message::stringNotLive,
     "la funzione '%1' della libreria '%2' ha restituito una stringa non valida: non è una stringa viva allocata "
     "con SysAllocStringByteLen (mai allocata, o già liberata)"},
    {Message::stringOverlong,
     "la funzione '%1' della libreria '%2' ha restituito una stringa non valida: la lunghezza che dichiara supera "
     "quella con cui fu allocata"},

    {Message::functionFaulted, "la funzione '%1' della libreria '%2' si è interrotta: %R"},
    {Message::loadingFaulted, "la libreria '%1' si è interrotta durante il caricamento: %R"},
    {Message::exitFaulted, "la libreria '%1' si è interrotta alla chiusura del programma: %R"},
    {Message::faultedOutsideCall,
     "il programma si è interrotto fuori da una chiamata alla libreria '%1' (in un thread della libreria o alla "
     "chiusura): %R"},
    {Message::programFaulted, "il programma si è interrotto: %R"},
    {Message::endedInCall, "il programma è terminato durante una chiamata a '%1' della libreria '%2': %R"},
    {Message::endedWhileLoading, "il programma è terminato durante il caricamento della libreria '%1': %R"},
    {Message::endedOutsideCall, "il programma è terminato fuori da una chiamata alla libreria '%1': %R"},
    {Message::endedUnexpectedly, "il programma è terminato inaspettatamente: %R"},

    {Message::cannotFindProgramFolder, "impossibile trovare la cartella del programma: %R"},
    {Message::cannotSetCurrentFolder, "impossibile impostare la cartella corrente a '%1': %R"},
    {Message::cannotSetCurrentDrive, "impossibile impostare l'unità corrente a '%1': %R"},
    {Message::cannotReadTickCounter, "impossibile leggere il contatore dei millisecondi: %R"},
    {Message::cannotReadMonotonicClock, "impossibile leggere l'orologio monotòno: %R"},
    {Message::cannotReadCounterFrequency, "impossibile leggere la frequenza del contatore di prestazioni: %R"},
    {Message::cannotReadPerformanceCounter, "impossibile leggere il contatore di prestazioni: %R"},
    {Message::cannotRegisterWindowClass, "impossibile registrare la classe della finestra: %R"},
    {Message::cannotCreateWindow, "impossibile creare la finestra: %R"},
    {Message::cannotCreateControls, "impossibile creare i controlli della finestra: %R"},
    {Message::cannotFindOwnFile, "impossibile trovare il file del programma: %R"},
    {Message::cannotStartMeasuringProcess, "impossibile avviare un processo di misura: %R"},
    {Message::cannotStartLoadRehearsal, "impossibile avviare la prova di caricamento: %R"},

    {Message::measuringEnded, "il processo di misura di %1 è terminato: %R"},
    {Message::measuringEndedMidWork, "il processo di misura di %1 è terminato con stato 0 a metà del lavoro"},
    {Message::measuringEndedAfterWork, "il processo di misura di %1 è terminato dopo il lavoro: %R"},
    {Message::measuringAnswered, "il processo di misura di %1 ha risposto '%2'"},
    {Message::measuringCheckAnswered, "il processo di misura di %1 ha dato '%2' per la verifica"},
    {Message::unknownRequest, "richiesta sconosciuta '%1'"},
    {Message::measuringSentSignal, "un processo di misura ha inviato %1 al comando che lo misura"},

    {Message::channelForeignLine, "una riga non sua sul suo canale ('%1')"},
    {Message::channelOverlongLine, "una riga sul suo canale più lunga di ogni risposta"},
    {Message::channelSilent, "nessuna conferma di una richiesta entro %1 s"},
    {Message::channelClosedWhileRunning, "il suo canale si è chiuso mentre era ancora in esecuzione"},
}};
static_assert(complete(kItalian), "every message needs its Italian template, in the identifiers' order");

} // namespace platform::messages
