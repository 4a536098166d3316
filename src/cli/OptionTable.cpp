#include "cli/OptionTable.h"

#include <algorithm>
#include <sstream>

#include "core/Constants.h"
#include "core/Settings.h"
#include "search/SearchRun.h"

namespace {

// A help text built with the stream's own number format, as -h has always
// printed the defaults (0.8, 0.25, 1, 0.05).
class Text {
public:
    template <typename T>
    Text& operator<<(const T& v) {
        out_ << v;
        return *this;
    }
    operator std::string() const { return out_.str(); }

private:
    std::ostringstream out_;
};

// The column the help texts start at, after a tab.
const size_t kUsageColumn = 29;

std::vector<OptionDoc> MakeTable() {
    return {
        {"-i", "<seq_file>", "The file contains DNA sequences (must be in Fasta format)",
         "",
         "seq_file",
         R"(Input sequences, FASTA, plain or gzip (required, unless -peaks). RNA letters U and u are read as T and t here and in every other file of sequences, sites or matrices (the console says how many); the outputs are written in DNA letters.)",
         true},
        {"-freq", "<freq_file>", "The file contains 3rd order Markov background frequency information (Default: counted from the input sequences as qiro-freq counts them, masked letters left out)",
         "\n",
         "freq_file",
         R"(Background frequency file, as qiro-freq(1) writes it: one record index word value a line. Default: counted from the input sequences (see DESCRIPTION).)",
         false},
        {"-pk", "<pk_file>", "The file contains pre-knowledge (true binding sites) one site per line",
         "\t                             An example of the pk_file:\n" "\t                             \tTATAAA\n" "\t                             \tTATCAA\n" "\t                             \tTATTAA\n" "\t                             \tTTTAAA\n\n",
         "pk_file",
         R"(Known binding sites, one per line, all of one width (it sets the motif width); or a motif matrix (MEME or JASPAR), FILE:ID for one motif of a database. Default: none. With -evalue, the matrix of the known sites is reported first whatever its E-value; its sites are the windows at a background p-value of 1e-4 or less. On inputs of 50 sequences or more it is refit on them, with the known sites as a prior.)",
         false},
        {"-o", "<output_file>", Text() << "The output file (Default:" << DFLT_OUT << ")",
         "",
         "output_file",
         R"(Result file. Default: qiro.out.)",
         false},
        {"-h", "", "Display the help message",
         "",
         "",
         R"(Print the usage text.)",
         false},
        {"-k", "<kmer>", Text() << "The expected motif width (Default=" << DFLT_K << ")",
         "",
         "width",
         R"(Motif width without known sites, 4 to 40. Default: 8. With -evalue, low-high (e.g. 6-15) searches a range of widths and lets the E-value choose.)",
         false},
        {"-ns", "<numperseq>", Text() << "The maximum number of binding sites in one motif model per sequence (Default="
         << DFLT_NOSITE << ")",
         "",
         "n",
         R"(Most sites per strand in a refined model; not 0. Default: 2.)",
         false},
        {"-d", "T/F", Text() << "The flag of performing the motif discovery on both forward and reverse strands (Default="
         << (DOUBLE_STR ? 'T' : 'F') << ")",
         "",
         "T/F",
         R"(Search both strands. Default: T.)",
         false},
        {"-g", "<generation>", Text() << "The maximum number of generations in genetic algorithm search (Default="
         << DFLT_GEN << ")",
         "",
         "n",
         R"(Most generations; not 0. Default: 1000 (with -evalue, fewer on large samples, at least 100).)",
         false},
        {"-p", "<population>", Text() << "The population size in genetic algorithm search (Default=" << DFLT_POP
         << ")",
         "",
         "n",
         R"(Population size; not 0. Default: 600; 300 with -evalue.)",
         false},
        {"-r", "<replacement_rate>", Text() << "The replacement rate in genetic algorithm search. Valid values are [0, 1). (Default="
         << DFLT_SUB << ")",
         "",
         "rate",
         R"(Replacement rate: chance that a child is re-aligned to a mutated consensus, 0 to 1. Default: 0.8.)",
         false},
        {"-w", "<winner_rate>", Text() << "The winner-table-all rate in genetic algorithm search. Valid values are [0, 1). (Default="
         << DFLT_WIN << ")",
         "",
         "rate",
         R"(Winner-take-all rate: chance that a generation keeps the best instead of running tournaments, 0 to 1. Default: 0.25.)",
         false},
        {"-lc", "<complexity_value>", Text() << "The lower complexity rate of a motif. Valid values are [0, 10]. (Default="
         << DFLT_COMP << ")",
         "",
         "value",
         R"(Low-complexity threshold a model must exceed, 0 to 10. Default: 0.01.)",
         false},
        {"-f", "T/F", Text() << "The filtering flag (Default=" << (FILTERING ? 'T' : 'F')
         << ") if the flag is set as 'true', the user must provide the pre-knowledge file",
         "",
         "T/F",
         R"(Filter candidate sites by the known sites. Default: T.)",
         false},
        {"-pkper", "<pk_percent>", Text() << "The percentage of Pre-knowledge to be used in the Initialization. Valid values are (0,1). (Default="
         << DFLT_PKPER << ")",
         "",
         "share",
         R"(Share of the known sites drawn to seed each member of the first population, 0 to 1. Default: 0.8.)",
         false},
        {"-perpk", "<pk_amount>", Text() << "The percentage of Pre-knowledge to be used from the pre-knowledge file. Valid values are (0,1]. (Default="
         << DFLT_PERPK << ")",
         "",
         "share",
         R"(Share of the known-site file used, 0 to 1. Default: 1.)",
         false},
        {"-delta", "<delta>", Text() << "The IC difference value for merging two chromsomes. Valid values are (0,1). (Default="
         << DFLT_DELTA << ")",
         "",
         "d",
         R"(Information-content difference under which models are merged, above 0 and below 10. Default: 0.05.)",
         false},
        {"-post", "T/F", Text() << "The post-processing flag (Default=" << (POST_PRO ? 'T' : 'F') << ")",
         "",
         "T/F",
         R"(Post-processing: merging, site adding and removing, MAP ranking. Default: T.)",
         false},
        {"-pkq", "<pk_quality>", Text() << "The percentage of noise data from input sequence as PK (Default=" << DFLT_PKQ
         << ")",
         "",
         "share",
         R"(Share of random input windows added to the known sites as noise, 0 to 1. Default: 0.)",
         false},
        {"-seed", "<number>", "The seed of the random numbers; the same seed repeats a run (Default: the clock)",
         "",
         "n",
         R"(Seed of the random numbers, 0 to 4294967295; the same seed and input repeat a run exactly, whatever the number of threads. Default: the clock.)",
         false},
        {"-threads", "<number>", "The number of threads; the results do not depend on it (Default: the number of cores)",
         "",
         "n",
         R"(Worker threads for the search and the refinement; the result does not depend on it. Default: the number of cores.)",
         false},
        {"-mask", "T/F", "Leave out windows holding a lower-case (soft-masked) letter or a letter other than A, C, G, T (Default=F)",
         "",
         "",
         R"(T/F Leave out every window holding a lower-case (soft-masked) letter or a letter other than A, C, G, T. Default: F.)",
         false},
        {"-dust", "<level>", "Leave out low-complexity regions found by symmetric DUST above this level; 20 is usual (Default=0: off)",
         "",
         "level",
         R"(Leave out low-complexity regions found by symmetric DUST above this level (20 is usual), and windows holding letters other than A, C, G, T; 0 or more. Default: 0 (off).)",
         false},
        {"-evalue", "<E>", Text() << "Judge the models against control sequences and report those with an E-value at most E (0.05 is usual); with it, -k <low>-<high> (e.g. 6-15) searches a range of widths, and each search has a population of " << kEvaluePopulation << " and at most " << kSearchWork << " / (letters searched) generations, at least " << kMinSearchGenerations << " (unless -p, -g say otherwise); a search from a word ends after " << kWordSearchStall << " generations without a better model",
         "",
         "E",
         R"(Judge the models against control sequences and report those with an E-value at most E (0.05 is usual); a value that is not a positive number is reset to 0.05. Default: off.)",
         false},
        {"-neg", "<fasta_file>", "Control sequences for -evalue (Default: the input shuffled, letter triplets kept)",
         "",
         "fasta_file",
         R"(Control sequences for -evalue, plain or gzip. Default: the input shuffled, letter triplets kept; with -peaks, random genomic windows matched in GC content (see -genome).)",
         false},
        {"-peaks", "<peak_file>", "Instead of -i: peaks (BED, column 6 the strand; or narrowPeak with the summit in column 10; plain or gzip) cut out of the -genome, each sequence named chrom:start-end",
         "",
         "peak_file",
         R"(Instead of -i: peaks, BED (three columns or more) or narrowPeak (ten columns, the summit's offset from the start in the tenth, -1 for none), plain or gzip; track, browser and # lines, and a byte-order mark, are passed over. The first peak line decides the format (narrowPeak when it has exactly ten columns), and every line must have as many columns. Column 6 (BED6 and longer, narrowPeak) is the strand: a - peak is read as the reverse complement of the genome's letters. Each peak becomes one sequence cut out of the -genome and named chrom:start-end (0-based start; a - peak chrom:start-end(-)), so -bed writes genome coordinates. A repeated peak is said and kept once; the overlapping windows of one peak's several summits are joined into one, and counted. A chromosome the genome lacks, a negative start, a start at or past a chromosome's end, a window wholly past it, a strand other than +, - or ., or a summit that is not a whole number or lies outside its peak ends the run before the search, with the file and line named.)",
         false},
        {"-genome", "<fasta_file>", "With -peaks: the genome (FASTA, plain or bgzip; its .fai index is used when it fits the genome, or made afresh); with -evalue and no -neg, the controls are random genomic windows matched to the peaks' GC content",
         "",
         "fasta_file",
         R"(With -peaks: the genome, FASTA, plain or compressed with bgzip, read through htslib's faidx. Its .fai (and .gzi) index is used when it fits the genome (not older than it, its records where it says); a missing or stale one is made afresh beside the genome, or for the run only when that folder cannot be written, and the console says so. A chromosome named twice ends the run. Lower case is kept, so -mask T works on soft-masked genomes; U is read as T, and a window holding N (or any other letter) is not searched. With -evalue and no -neg, the controls are random windows of the genome as long as the input sequences, free of N, away from every peak, each in its sequence's GC bin (bins of 5%; with -mask T also in its bin of lower-case share, GC counted on the upper-case letters), as many as the shuffled controls; the console says how many and how well they match, and the JSON and HTML outputs hold the GC histograms of the input and the controls.)",
         false},
        {"-peaksize", "<n>", Text() << "With -peaks: windows of n letters centred on the summit (narrowPeak) or the peak's middle; 0: each peak whole (Default=" << kDefaultPeakSize << ")",
         "",
         "n",
         R"(With -peaks: windows of n letters centred on the summit (narrowPeak) or on the peak's middle; 0 keeps each peak whole. A window that a chromosome's end cuts short is kept as it is, and counted. Default: 100.)",
         false},
        {"-sitemodel", "<rule>", "With -evalue: how the reported motifs' sites are called: em (the default) fits zero or one site per sequence (ZOOPS) or any number (TCM), chosen from the input, then refines the matrix by soft EM against the Markov background where the input holds enough sites; em-zoops, em-tcm: the same with the model asked; fitted (also auto), zoops, tcm: the fitted mixture unrefined; threshold: every window at least the judge's threshold (Default=em)",
         "",
         "rule",
         R"(With -evalue: how the reported motifs' sites are called. em, the default, fits a mixture of motif and background to the input by EM, ZOOPS (zero or one site per sequence) or TCM (any number), taking TCM when the input holds more second sites per sequence than the controls make by chance; then it refines the motif's matrix and the share of sites by soft EM against the run's Markov background, and a sequence (ZOOPS) or a place (TCM) holds a site where the refined model's posterior reaches one half. The refinement is left out where the fitted mixture expects fewer sites than the matrix has letter probabilities (3 per column): its calls stand. em-zoops and em-tcm ask for the model. fitted (also auto), zoops (also fitted-zoops) and tcm (also fitted-tcm) call by the fitted mixture alone, a site where its posterior reaches one half. threshold calls every window scoring at least the judge's threshold. Default: em.)",
         false},
        {"-words", "<n>", "With -evalue: enriched words per width whose occurrences start searches of their own, and as many windows on inputs of fewer than 50 sequences (Default=5; 0: none)",
         "",
         "n",
         R"(With -evalue: enriched words per width whose occurrences start searches of their own, and on inputs of fewer than 50 sequences as many windows of the input whose near matches more input than control sequences hold, 0 or more (0: none). Default: 5.)",
         false},
        {"-searchsize", "<letters>", Text() << "With -evalue: the searches run on a random sample of whole sequences of at most this many letters; 0: all (Default=" << kDefaultSearchSize << ")",
         "",
         "letters",
         R"(With -evalue: the searches run on a random sample of whole sequences of at most this many letters, 0 or more (0: all). Default: 50000.)",
         false},
        {"-nmotifs", "<n>", "With -evalue: motifs sought one after another, the sites of each masked; 0 with -db: only the database's motifs tested (Default=1)",
         "",
         "n",
         R"(With -evalue: motifs sought one after another, the sites of each masked before the next search, 0 or more. 0 (with -db) seeks no motif: only the database's motifs are tested (see -db). Default: 1.)",
         false},
        {"-db", "<motif_file>", "Name each motif after its best matches in a motif database (MEME or JASPAR format, plain or gzip; repeat it or separate files by commas) and show where its sites sit",
         "",
         "motif_file",
         R"(Name each motif after its best matches in a motif database (MEME minimal or JASPAR format, plain or gzip) and show where its sites sit; repeat the option or separate files by commas. With -evalue, every motif of the database is also tested in the input: a window is a site at a background p-value of at most 1e-4, the input sequences with a site are set against the control sequences with one (Fisher's exact test), and the E-value is that p-value times the motifs tested. The motifs with an E-value within the limit are listed under "Known motifs" in the result file, the JSON (known_motifs) and the HTML page; the console shows the best five. Default: none.)",
         false},
        {"-version", "", Text() << "Display the version (qiro " << QIRO_VERSION << ") and exit",
         "",
         "",
         R"(Print qiro and its version, and stop, wherever the word stands.)",
         false},
        {"-meme", "<meme_file>", "Also write the motifs in MEME minimal motif format",
         "",
         "file",
         R"(Also write the reported models in MEME minimal motif format. Default: none.)",
         false},
        {"-jaspar", "<jaspar_file>", "Also write the motifs in JASPAR format (letter counts)",
         "",
         "file",
         R"(Also write them in JASPAR format (letter counts). Default: none.)",
         false},
        {"-bed", "<bed_file>", "Also write the motif sites as BED (genomic when sequences are named chrom:start-end)",
         "",
         "file",
         R"(Also write their sites as BED (genomic coordinates for sequences named chrom:start-end). Default: none.)",
         false},
        {"-json", "<json_file>", "Also write the settings, motifs and sites as JSON",
         "",
         "file",
         R"(Also write the settings, seed, version, scores, matrices and sites as JSON. Default: none.)",
         false},
        {"-html", "<html_file>", "Also write a self-contained HTML page with the settings and motif logos",
         "",
         "file",
         R"(Also write a self-contained HTML page with the settings, logos, matrices and sites. Default: none.)",
         false},
        {"-verbose", "", "With -evalue: show the log of every search on the console (Default: the settings, a line per stage and the motifs found)",
         "",
         "",
         R"(With -evalue: show the log of every search on standard output, as a run without -evalue does. Default: a judged run prints the settings that shape its result, a line per stage, each motif found with its sites, the closing table and where the outputs went; warnings and errors go to standard error, each once.)",
         false},
    };
}

}  // namespace

const std::vector<OptionDoc>& OptionTable() {
    static const std::vector<OptionDoc> table = MakeTable();
    return table;
}

std::string UsageText() {
    std::string u = " USAGE:\n\n";
    u += "\tQIRO -i <seq_file> [-freq <freq_file>] [optional arguments]\n\n";
    u += "Arguements:\n";
    bool optional = false;
    for (const OptionDoc& o : OptionTable()) {
        if (!optional && !o.required && o.word != "-freq") {
            u += "Optional:\n";
            optional = true;
        }
        std::string column = o.word + (o.usageValue.empty() ? "" : " " + o.usageValue);
        if (!o.required) column = "[" + column + "]";
        column.resize(std::max(kUsageColumn, column.size() + 1), ' ');
        u += "\t" + column + o.help + "\n" + o.after;
    }
    u += "\n\n\n";
    return u;
}
