#include "Messages.h"

#include <string>

#include "SysUtils.h"

namespace {
constexpr int kLanguages = 5;

// Every column holds the English text until translations exist.
#define SAME5(text)                                                                                                    \
    {                                                                                                                  \
        text, text, text, text, text                                                                                   \
    }
const char* const kMessages[MSG_COUNT][kLanguages] = {
    SAME5(""),
    SAME5(""),
    SAME5("Ghostscript installation not found!"),
    SAME5("Parsimo installation not found!"),
    SAME5("Application Data Folder not found!"),
    SAME5("Common Application Data Folder not found!"),
    SAME5(""),
    SAME5(""),
    SAME5(""),
    SAME5("This image format (%s) is not supported!"),
    SAME5("The printer (%s) is not supported!"),
    SAME5("Could not open the virtual printer (%s)!"),
    SAME5("Could not open the target printer (%s)!"),
    SAME5("File %s is already opened by another program. Please close it and click the OK button to continue."),
    SAME5("The new .PDF file %s is located in the folder %s. Do you want to open this folder right now?"),
    SAME5("The new image file %s is located in the folder %s. Do you want to open this folder right now?"),
    SAME5(""),
    SAME5(""),
    {"The print job file %s cannot be read!", "Die Druckauftragsdatei %s kann nicht gelesen werden!",
     "Le fichier du travail d'impression %s ne peut pas être lu !",
     "¡No se puede leer el archivo del trabajo de impresión %s!",
     "Impossibile leggere il file del lavoro di stampa %s!"},
    {"The print job could not be rendered (%s)!", "Der Druckauftrag konnte nicht aufbereitet werden (%s)!",
     "Le travail d'impression n'a pas pu être traité (%s) !", "¡No se pudo procesar el trabajo de impresión (%s)!",
     "Impossibile elaborare il lavoro di stampa (%s)!"},
    {"The print job could not be printed on the printer %s!",
     "Der Druckauftrag konnte nicht auf dem Drucker %s gedruckt werden!",
     "Le travail d'impression n'a pas pu être imprimé sur l'imprimante %s !",
     "¡No se pudo imprimir el trabajo en la impresora %s!", "Impossibile stampare il lavoro sulla stampante %s!"},
    {"The print job holds no page that could be printed!", "Der Druckauftrag enthält keine druckbare Seite!",
     "Le travail d'impression ne contient aucune page imprimable !",
     "¡El trabajo de impresión no contiene ninguna página que se pueda imprimir!",
     "Il lavoro di stampa non contiene nessuna pagina stampabile!"},
    {"The output files could not be written to the folder %s!",
     "Die Ausgabedateien konnten nicht in den Ordner %s geschrieben werden!",
     "Les fichiers de sortie n'ont pas pu être écrits dans le dossier %s !",
     "¡No se pudieron escribir los archivos de salida en la carpeta %s!",
     "Impossibile scrivere i file di output nella cartella %s!"},
    {"The print job was stopped: it made no progress for %s seconds!",
     "Der Druckauftrag wurde abgebrochen: %s Sekunden lang ging es nicht weiter!",
     "Le travail d'impression a été arrêté : aucun progrès pendant %s secondes !",
     "¡El trabajo de impresión se detuvo: no avanzó durante %s segundos!",
     "Il lavoro di stampa è stato interrotto: nessun avanzamento per %s secondi!"},
    {"An earlier print job is still running. Please print again later.",
     "Ein früherer Druckauftrag läuft noch. Bitte drucken Sie später erneut.",
     "Un travail d'impression précédent est toujours en cours. Veuillez imprimer de nouveau plus tard.",
     "Un trabajo de impresión anterior sigue en curso. Vuelva a imprimir más tarde.",
     "Un lavoro di stampa precedente è ancora in corso. Stampare di nuovo più tardi."},
    SAME5("No target printer is chosen, and the default printer (%s) cannot be used! Choose the printer that prints "
          "with: Parsimo set TargetPrinterName NAME"),
};
#undef SAME5
}  // namespace

int GetLanguageIndex()
{
    switch (GetUserPrimaryLanguage() & 0x3ff) {
    case 0x07: return 1;
    case 0x0C: return 2;
    case 0x0A: return 3;
    case 0x10: return 4;
    default: return 0;
    }
}

const char* GetMessageText(int id)
{
    if (id < 0 || id >= MSG_COUNT) return "";
    return kMessages[id][GetLanguageIndex()];
}

TextBuffer FormatMessageText(int id, const char* first, const char* second)
{
    const char* arguments[] = {first, second};
    size_t next = 0;
    TextBuffer result("");
    std::string text = GetMessageText(id);
    size_t start = 0;
    for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", start)) {
        result.Append(text.substr(start, at - start).c_str());
        if (next < 2 && arguments[next]) result.Append(arguments[next]);
        ++next;
        start = at + 2;
    }
    result.Append(text.substr(start).c_str());
    return result;
}
