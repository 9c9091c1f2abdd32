using System.Text;

namespace Quorvane.ScriptHost;

/// <summary>
/// Stands in for Console.Out and Console.Error inside the host: whatever the game
/// prints becomes whole LOG lines, so a stray Console.Write can never glue itself to
/// a protocol line.
/// </summary>
internal sealed class ConsoleRedirect(Action<string> writeLine) : TextWriter
{
    private readonly StringBuilder _partial = new();

    public override Encoding Encoding => Encoding.UTF8;

    public override void Write(char value)
    {
        if (value == '\n')
        {
            FlushLine();
        }
        else if (value != '\r')
        {
            _partial.Append(value);
        }
    }

    public override void Flush()
    {
        if (_partial.Length > 0) FlushLine();
    }

    private void FlushLine()
    {
        writeLine(_partial.ToString());
        _partial.Clear();
    }
}
